#include "QuorlAudio/asr/streaming/EncoderCacheManager.hpp"

#include "QuorlAudio/foundation/MultiArrayReset.hpp"

namespace quorl {
namespace {

std::shared_ptr<platform::ml::MultiArray> arrayOutput(const platform::ml::FeatureProvider& output,
                                                      const std::string& name) {
    const auto value = output.featureValue(name);
    return value ? value->multiArrayValue() : nullptr;
}

} // namespace

std::shared_ptr<platform::ml::MultiArray> EncoderCacheManager::createZeroArray(const std::vector<std::size_t>& shape,
                                                                               platform::ml::DataType dataType) {
    auto array = std::make_shared<platform::ml::MultiArray>(shape, dataType);
    reset(*array, 0);
    return array;
}

EncoderCacheManager::Caches EncoderCacheManager::createInitialCaches(const CacheConfig& config) {
    return {
        .channel = createZeroArray(config.channelShape, platform::ml::DataType::float32),
        .time = createZeroArray(config.timeShape, platform::ml::DataType::float32),
        .len = createZeroArray(config.lenShape, platform::ml::DataType::int32),
    };
}

EncoderCacheManager::Caches EncoderCacheManager::extractCachesFromOutput(const platform::ml::FeatureProvider& output,
                                                                         const std::string& channelKey,
                                                                         const std::string& timeKey,
                                                                         const std::string& lenKey) {
    return {
        .channel = arrayOutput(output, channelKey),
        .time = arrayOutput(output, timeKey),
        .len = arrayOutput(output, lenKey),
    };
}

} // namespace quorl
