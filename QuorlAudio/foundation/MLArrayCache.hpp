#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorl {

// A pool of zero-filled aligned model-input arrays keyed by shape and element type, so the recogniser's
// fixed-shape inputs are allocated once and reused. Arrays are zeroed when they come back, so borrowing a
// pooled array costs no fill. The budget of pooled arrays is shared evenly between the keys in use.
class MLArrayCache {
public:
    struct CacheKey {
        std::vector<std::size_t> shape;
        platform::ml::DataType dataType;

        bool operator==(const CacheKey& other) const = default;

        struct Hash {
            std::size_t operator()(const CacheKey& key) const;
        };
    };

    using ShapeAndType = std::pair<std::vector<std::size_t>, platform::ml::DataType>;

    explicit MLArrayCache(std::size_t maxCacheSize = 100);
    MLArrayCache(const MLArrayCache&) = delete;
    MLArrayCache& operator=(const MLArrayCache&) = delete;

    // A zero-filled array of the shape and type: the last one returned under that key, else a new aligned
    // array (ANEMemoryUtils errors pass through).
    std::shared_ptr<platform::ml::MultiArray> getArray(const std::vector<std::size_t>& shape,
                                                       platform::ml::DataType dataType);

    // Takes an array back: zeroed (padding untouched) and kept while its key is under its share of the
    // budget, otherwise released.
    void returnArray(const std::shared_ptr<platform::ml::MultiArray>& array);

    // Replaces the pooled list of each shape with newly allocated arrays: 5 each for up to 20 shapes, then
    // the budget divided by the number of shapes, none beyond 100 shapes. A shape whose allocation fails
    // keeps its earlier list.
    void prewarm(const std::vector<ShapeAndType>& shapes);

    // Drops every pooled array and key.
    void clear();

private:
    std::size_t limitPerKey() const;

    std::mutex mutex_;
    std::unordered_map<CacheKey, std::vector<std::shared_ptr<platform::ml::MultiArray>>, CacheKey::Hash> cache;
    std::size_t maxCacheSize;
};

// The process-wide pool with a budget of 100 arrays, made on first use.
MLArrayCache& sharedMLArrayCache();

} // namespace quorl
