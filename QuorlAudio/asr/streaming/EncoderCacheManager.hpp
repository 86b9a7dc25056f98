#pragma once

#include "platform/ml/DataType.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace quorl {

// The cache tensors a cache-aware streaming encoder carries from one chunk to the next: made zero at the
// start of a stream and read back from each encoder call's outputs.
class EncoderCacheManager {
public:
    struct CacheConfig {
        std::vector<std::size_t> channelShape;
        std::vector<std::size_t> timeShape;
        std::vector<std::size_t> lenShape;
    };

    struct Caches {
        std::shared_ptr<platform::ml::MultiArray> channel;
        std::shared_ptr<platform::ml::MultiArray> time;
        std::shared_ptr<platform::ml::MultiArray> len;
    };

    // Every element set to 0 explicitly, whatever the runtime puts in new memory. Throws the runtime's error
    // when the array cannot be made.
    static std::shared_ptr<platform::ml::MultiArray> createZeroArray(const std::vector<std::size_t>& shape,
                                                                     platform::ml::DataType dataType);
    // Float32 channel and time caches and an Int32 length, all zero.
    static Caches createInitialCaches(const CacheConfig& config);
    // The outputs under the three names; a slot is null when its output is missing or not an array.
    static Caches extractCachesFromOutput(const platform::ml::FeatureProvider& output, const std::string& channelKey,
                                          const std::string& timeKey, const std::string& lenKey);
};

} // namespace quorl
