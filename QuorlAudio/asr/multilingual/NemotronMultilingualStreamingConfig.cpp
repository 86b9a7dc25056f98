#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/MetadataValues.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/CaseMapping.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <string_view>
#include <utility>

namespace quorl {
namespace {

using nlohmann::json;

constexpr std::int64_t samplesPerMelFrame = 160;
// The mel frames the encoder receives beyond the chunk's own when the file does not say.
constexpr std::int64_t carriedMelFrames = 9;
// Far above any real front end, low enough that the filterbank (bands x 257 weights) is always allocatable.
constexpr std::int64_t maximumMelFeatures = 4096;

std::optional<std::map<std::string, std::int64_t>> integerMapAt(const json& object, const std::string& key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_object()) {
        return std::nullopt;
    }
    std::map<std::string, std::int64_t> values;
    for (const auto& [name, element] : found->items()) {
        const auto value = integral(element);
        if (!value) {
            return std::nullopt;
        }
        values.emplace(name, *value);
    }
    return values;
}

std::optional<std::set<std::int64_t>> integerSetAt(const json& object, const std::string& key) {
    const auto values = integersAt(object, key);
    if (!values) {
        return std::nullopt;
    }
    return std::set<std::int64_t>(values->begin(), values->end());
}

void requireWithin(std::int64_t value, std::int64_t lowest, std::int64_t highest, const std::string& key) {
    if (value < lowest || value > highest) {
        throw ASRError::processingFailed("Invalid multilingual metadata.json: \"" + key + "\" is out of range");
    }
}

void requireSizes(const std::vector<std::int64_t>& shape, const std::string& key) {
    if (shape.empty() || std::ranges::any_of(shape, [](std::int64_t size) { return size < 1; })) {
        throw ASRError::processingFailed("Invalid multilingual metadata.json: \"" + key + "\" is out of range");
    }
}

// A geometry that would never finish a chunk, overrun the carried mel frames, or size an array from a
// negative number is refused where the file is named, not met later in the middle of a stream.
void validate(const NemotronMultilingualStreamingConfig& config) {
    constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t int32Min = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();
    requireWithin(config.melFeatures, 1, maximumMelFeatures, "mel_features");
    requireWithin(config.chunkMelFrames, 1, int64Max / samplesPerMelFrame, "chunk_mel_frames");
    requireWithin(config.preEncodeCache, 0, config.totalMelFrames, "pre_encode_cache");
    requireWithin(config.encoderDim, 1, int64Max, "encoder_dim");
    requireWithin(config.decoderHidden, 1, int64Max, "decoder_hidden");
    requireWithin(config.decoderLayers, 1, int64Max, "decoder_layers");
    requireSizes(config.cacheChannelShape, "cache_channel_shape");
    requireSizes(config.cacheTimeShape, "cache_time_shape");
    requireWithin(config.blankIdx, int32Min, int32Max, "blank_idx");
    requireWithin(config.defaultPromptId, int32Min, int32Max, "default_prompt_id");
}

std::optional<std::int64_t> lookUp(const std::map<std::string, std::int64_t>& dictionary, const std::string& code) {
    const auto found = dictionary.find(code);
    return found == dictionary.end() ? std::nullopt : std::optional(found->second);
}

// The code split at its first "-", empty pieces dropped.
std::vector<std::string> hyphenPieces(std::string_view code) {
    const auto hyphen = code.find('-');
    std::vector<std::string> pieces;
    for (const std::string_view piece :
         {code.substr(0, hyphen), hyphen == std::string_view::npos ? std::string_view() : code.substr(hyphen + 1)}) {
        if (!piece.empty()) {
            pieces.emplace_back(piece);
        }
    }
    return pieces;
}

std::optional<std::int64_t> lookUpNormalised(const std::map<std::string, std::int64_t>& dictionary, std::string code) {
    std::ranges::replace(code, '_', '-');
    if (const auto hit = lookUp(dictionary, code)) {
        return hit;
    }
    const auto pieces = hyphenPieces(code);
    if (pieces.size() == 2) {
        const auto hit =
            lookUp(dictionary, platform::text::lowercased(pieces[0]) + "-" + platform::text::uppercased(pieces[1]));
        if (hit) {
            return hit;
        }
    }
    if (pieces.empty()) {
        return std::nullopt;
    }
    return lookUp(dictionary, platform::text::lowercased(pieces[0]));
}

} // namespace

NemotronMultilingualStreamingConfig NemotronMultilingualStreamingConfig::read(const std::filesystem::path& url) {
    const json document = json::parse(platform::sys::wholeFile(url));
    if (!document.is_object()) {
        throw ASRError::processingFailed("Invalid multilingual metadata.json format");
    }
    const NemotronMultilingualStreamingConfig defaults;
    const std::int64_t chunkMelFrames = integerAt(document, "chunk_mel_frames").value_or(defaults.chunkMelFrames);
    // A frame count too large for the fallbacks below is refused by validate(); the fallbacks must not
    // overflow before it runs.
    const bool derivable =
        chunkMelFrames >= 0 && chunkMelFrames <= std::numeric_limits<std::int64_t>::max() / samplesPerMelFrame;
    const auto vocabSize = integerAt(document, "vocab_size");
    NemotronMultilingualStreamingConfig config{
        .sampleRate = integerAt(document, "sample_rate").value_or(defaults.sampleRate),
        .melFeatures = integerAt(document, "mel_features").value_or(defaults.melFeatures),
        .chunkMelFrames = chunkMelFrames,
        .chunkMs = integerAt(document, "chunk_ms").value_or(derivable ? chunkMelFrames * 10 : 0),
        .preEncodeCache = integerAt(document, "pre_encode_cache").value_or(defaults.preEncodeCache),
        .totalMelFrames =
            integerAt(document, "total_mel_frames").value_or(derivable ? chunkMelFrames + carriedMelFrames : 0),
        .vocabSize = vocabSize.value_or(defaults.vocabSize),
        .blankIdx = integerAt(document, "blank_idx").value_or(vocabSize.value_or(defaults.blankIdx)),
        .encoderDim = integerAt(document, "encoder_dim").value_or(defaults.encoderDim),
        .decoderHidden = integerAt(document, "decoder_hidden").value_or(defaults.decoderHidden),
        .decoderLayers = integerAt(document, "decoder_layers").value_or(defaults.decoderLayers),
        .cacheChannelShape = integersAt(document, "cache_channel_shape").value_or(defaults.cacheChannelShape),
        .cacheTimeShape = integersAt(document, "cache_time_shape").value_or(defaults.cacheTimeShape),
        .numPrompts = integerAt(document, "num_prompts").value_or(defaults.numPrompts),
        .defaultPromptId = integerAt(document, "default_prompt_id").value_or(defaults.defaultPromptId),
        .promptDictionary = integerMapAt(document, "prompt_dictionary").value_or(defaults.promptDictionary),
        .langTagTokenIds = integerSetAt(document, "lang_tag_token_ids").value_or(defaults.langTagTokenIds),
    };
    validate(config);
    return config;
}

std::int64_t NemotronMultilingualStreamingConfig::promptId(const std::optional<std::string>& language) const {
    if (!language || language->empty()) {
        return defaultPromptId;
    }
    if (const auto hit = lookUp(promptDictionary, *language)) {
        return *hit;
    }
    return lookUpNormalised(promptDictionary, *language).value_or(defaultPromptId);
}

} // namespace quorl
