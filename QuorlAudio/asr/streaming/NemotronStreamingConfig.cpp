#include "QuorlAudio/asr/streaming/NemotronStreamingConfig.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/MetadataValues.hpp"
#include "platform/sys/WholeFile.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

namespace quorl {
namespace {

using nlohmann::json;

std::int64_t scalar(const json& object, const char* key, std::int64_t fallback) {
    return integerAt(object, key).value_or(fallback);
}

std::vector<std::int64_t> shape(const json& object, const char* key, std::vector<std::int64_t> fallback) {
    return integersAt(object, key).value_or(std::move(fallback));
}

void requirePositive(std::int64_t value, const std::string& key) {
    if (value <= 0) {
        throw ASRError::processingFailed("Invalid metadata.json: \"" + key + "\" must be positive");
    }
}

void requirePositiveShape(const std::vector<std::int64_t>& values, const std::string& key) {
    if (values.empty() || std::ranges::any_of(values, [](std::int64_t value) { return value <= 0; })) {
        throw ASRError::processingFailed("Invalid metadata.json: \"" + key + "\" must hold positive sizes");
    }
}

// A geometry the engine could not decode with would hang the chunk loop or fail deep inside array creation;
// it is refused here instead, where the file is named.
void validate(const NemotronStreamingConfig& config) {
    requirePositive(config.melFeatures, "mel_features");
    requirePositive(config.chunkMelFrames, "chunk_mel_frames");
    requirePositive(config.preEncodeCache, "pre_encode_cache");
    requirePositive(config.decoderHidden, "decoder_hidden");
    requirePositive(config.decoderLayers, "decoder_layers");
    requirePositiveShape(config.cacheChannelShape, "cache_channel_shape");
    requirePositiveShape(config.cacheTimeShape, "cache_time_shape");
    if (config.totalMelFrames <= config.preEncodeCache) {
        throw ASRError::processingFailed(
            "Invalid metadata.json: \"total_mel_frames\" must be larger than \"pre_encode_cache\"");
    }
    if (config.blankIdx < std::numeric_limits<std::int32_t>::min() ||
        config.blankIdx > std::numeric_limits<std::int32_t>::max()) {
        throw ASRError::processingFailed("Invalid metadata.json: \"blank_idx\" must fit in 32 bits");
    }
}

} // namespace

NemotronStreamingConfig NemotronStreamingConfig::read(const std::filesystem::path& url) {
    const json document = json::parse(platform::sys::wholeFile(url));
    if (!document.is_object()) {
        throw ASRError::processingFailed("Invalid metadata.json format");
    }
    const NemotronStreamingConfig defaults;
    NemotronStreamingConfig config{
        .sampleRate = scalar(document, "sample_rate", 16000),
        .melFeatures = scalar(document, "mel_features", 128),
        .chunkMelFrames = scalar(document, "chunk_mel_frames", 112),
        .chunkMs = scalar(document, "chunk_ms", 1120),
        .preEncodeCache = scalar(document, "pre_encode_cache", 9),
        .totalMelFrames = scalar(document, "total_mel_frames", 121),
        .vocabSize = scalar(document, "vocab_size", 1024),
        .blankIdx = scalar(document, "blank_idx", 1024),
        .encoderDim = scalar(document, "encoder_dim", 1024),
        .decoderHidden = scalar(document, "decoder_hidden", 640),
        .decoderLayers = scalar(document, "decoder_layers", 2),
        .cacheChannelShape = shape(document, "cache_channel_shape", defaults.cacheChannelShape),
        .cacheTimeShape = shape(document, "cache_time_shape", defaults.cacheTimeShape),
    };
    validate(config);
    return config;
}

} // namespace quorl
