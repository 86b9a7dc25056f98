#include "QuorlAudio/tts/frontend/MultilingualG2PModel.hpp"

#include "QuorlAudio/tts/frontend/G2PEncoderDecoder.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <utility>

namespace quorl {
namespace {

using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr std::int32_t lastByteToken = 255 + MultilingualG2PModel::byteOffset;

std::vector<std::int32_t> byteTokens(const std::string& text) {
    std::vector<std::int32_t> tokens;
    tokens.reserve(text.size());
    for (const unsigned char byte : text) {
        tokens.push_back(byte + MultilingualG2PModel::byteOffset);
    }
    return tokens;
}

// The bytes of the byte tokens; the special tokens and those past the byte range are dropped.
std::string bytesOf(const std::vector<std::int32_t>& tokens) {
    std::string bytes;
    for (const auto token : tokens) {
        if (token >= MultilingualG2PModel::byteOffset && token <= lastByteToken) {
            bytes.push_back(static_cast<char>(token - MultilingualG2PModel::byteOffset));
        }
    }
    return bytes;
}

bool isBlankCharacter(std::string_view character) {
    const auto scalars = platform::text::decodeScalars(character);
    return std::all_of(scalars.begin(), scalars.end(), platform::text::isBlank);
}

// The text's characters without the blank ones; line breaks stay.
std::vector<std::string> visibleCharacters(const std::string& text) {
    std::vector<std::string> characters;
    for (auto& character : platform::text::graphemeClusters(text)) {
        if (!isBlankCharacter(character)) {
            characters.push_back(std::move(character));
        }
    }
    return characters;
}

} // namespace

MultilingualG2PModel& MultilingualG2PModel::shared() {
    static MultilingualG2PModel model;
    return model;
}

MultilingualG2PModel::MultilingualG2PModel(G2PModelEnvironment environment)
    : environment_(std::move(environment)), logger_("rev.ararerezod.evi", "MultilingualG2PModel") {}

void MultilingualG2PModel::ensureModelsAvailable() {
    std::lock_guard lock(mutex_);
    loadIfNeeded();
}

std::optional<std::vector<std::string>> MultilingualG2PModel::phonemize(const std::string& word,
                                                                        MultilingualG2PLanguage language) {
    std::lock_guard lock(mutex_);
    if (!environment_.loadUnlessExcused([this] { loadIfNeeded(); }, logger_,
                                        "Multilingual G2P unavailable in CI, returning nil for word: " + word)) {
        return std::nullopt;
    }
    const auto text = bytesOf(decode(encode(prefix(language) + word)));
    if (text.empty() || !platform::text::decodeScalarsStrictly(text)) {
        return std::nullopt;
    }
    return visibleCharacters(text);
}

void MultilingualG2PModel::loadIfNeeded() {
    if (encoder_ && decoder_) {
        return;
    }
    const auto folder = environment_.modelFolder();
    const auto encoderBundle = folder / "MultilingualG2PEncoder.mlmodelc";
    const auto decoderBundle = folder / "MultilingualG2PDecoder.mlmodelc";
    if (const auto missing = G2PEncoderDecoder::firstMissing({encoderBundle, decoderBundle})) {
        throw MultilingualG2PError::modelLoadFailed(missing->filename().string() + " not found at " +
                                                    missing->string());
    }
    encoder_ = G2PEncoderDecoder::loadOnCpu(encoderBundle);
    decoder_ = G2PEncoderDecoder::loadOnCpu(decoderBundle);
    logger_.info("Loaded multilingual G2P CoreML models from " + folder.string());
}

MultilingualG2PModel::Encoded MultilingualG2PModel::encode(const std::string& text) const {
    const auto tokens = byteTokens(text);
    Encoded encoded{.hiddenStates = nullptr,
                    .attentionMask = G2PEncoderDecoder::int32Sequence(std::vector<std::int32_t>(tokens.size(), 1))};
    const platform::ml::DictionaryFeatureProvider inputs({
        {"input_ids", FeatureValue(G2PEncoderDecoder::int32Sequence(tokens))},
        {"attention_mask", FeatureValue(encoded.attentionMask)},
    });
    encoded.hiddenStates = G2PEncoderDecoder::predictedArray(*encoder_, inputs, "last_hidden_state");
    if (!encoded.hiddenStates) {
        throw MultilingualG2PError::encoderPredictionFailed();
    }
    return encoded;
}

std::vector<std::int32_t> MultilingualG2PModel::decode(const Encoded& encoded) const {
    const G2PEncoderDecoder::GreedyDecoding decoding{
        .startId = padTokenId, .eosId = eosTokenId, .maxSteps = maxDecodeSteps};
    return decoding.decode([&](std::span<const std::int32_t> sequence) {
        const platform::ml::DictionaryFeatureProvider inputs({
            {"decoder_input_ids", FeatureValue(G2PEncoderDecoder::int32Sequence(sequence))},
            {"encoder_hidden_states", FeatureValue(encoded.hiddenStates)},
            {"encoder_attention_mask", FeatureValue(encoded.attentionMask)},
        });
        auto logits = G2PEncoderDecoder::predictedArray(*decoder_, inputs, "logits");
        if (!logits || !G2PEncoderDecoder::holdsScoresFor(*logits, sequence.size())) {
            throw MultilingualG2PError::decoderPredictionFailed();
        }
        return logits;
    });
}

} // namespace quorl
