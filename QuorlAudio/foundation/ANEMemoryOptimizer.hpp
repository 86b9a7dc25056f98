#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// A keyed pool of Neural-Engine-aligned arrays with fast copies and views, shared by the components of one
// model pipeline (held by std::shared_ptr). Failures are DiarizerError cases. The pool does not lend arrays
// exclusively: callers asking for one key get the same array.
class ANEMemoryOptimizer {
public:
    static constexpr std::size_t aneAlignment = 64;
    static constexpr std::size_t aneTileSize = 16;

    ANEMemoryOptimizer() = default;
    ANEMemoryOptimizer(const ANEMemoryOptimizer&) = delete;
    ANEMemoryOptimizer& operator=(const ANEMemoryOptimizer&) = delete;

    // A new zero-filled aligned array; any failure becomes DiarizerError::memoryAllocationFailed.
    std::shared_ptr<platform::ml::MultiArray> createAlignedArray(const std::vector<std::size_t>& shape,
                                                                 platform::ml::DataType dataType);

    // The array pooled under the key when it has this shape and type (as its last user left it); otherwise
    // a new zeroed one, which replaces whatever the key held. A failed allocation leaves the pool unchanged.
    std::shared_ptr<platform::ml::MultiArray>
    getPooledBuffer(const std::string& key, const std::vector<std::size_t>& shape, platform::ml::DataType dataType);

    // Stores a new zeroed array under the key, replacing any earlier one.
    void initializePooledBuffer(const std::string& key, const std::vector<std::size_t>& shape,
                                platform::ml::DataType dataType);

    void clearBufferPool();

    // Copies floats into the destination's memory from element `offset` on, addressed linearly from its data
    // pointer: as many as fit in its element count; with `pad`, the elements after them up to the element
    // count become 0. Elements before the offset are untouched. A destination that does not hold 32-bit
    // floats is left alone; an offset beyond its element count is DiarizerError::invalidArrayBounds. An
    // array with overlapping strides is addressed only as far as its memory spans.
    void optimizedCopy(std::span<const float> source, platform::ml::MultiArray& destination, std::size_t offset,
                       bool pad);

    // A view with the padded layout of `shape` on the source's memory from element `offset` on, sharing the
    // source's storage. DiarizerError::invalidArrayBounds when the view's elements or its padded extent would
    // pass the end of the source.
    std::shared_ptr<platform::ml::MultiArray>
    createZeroCopyView(platform::ml::MultiArray& source, const std::vector<std::size_t>& shape, std::size_t offset);

private:
    std::map<std::string, std::shared_ptr<platform::ml::MultiArray>> bufferPool;
    std::mutex bufferLock;
};

} // namespace quorl
