#include "QuorlAudio/tts/frontend/G2PModel.hpp"

#include "QuorlAudio/tts/frontend/G2PEncoderDecoder.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"

#include <utility>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr const char* vocabularyFile = "g2p_vocab.json";
constexpr float maskedScore = -10000.0f;

// Position i of the decoder's sequence is numbered i + 2, as the model was trained.
std::shared_ptr<MultiArray> positionIds(std::size_t length) {
    std::vector<std::int32_t> positions(length);
    for (std::size_t index = 0; index < length; ++index) {
        positions[index] = static_cast<std::int32_t>(index + 2);
    }
    return G2PEncoderDecoder::int32Sequence(positions);
}

// Each position sees itself and those before it.
std::shared_ptr<MultiArray> causalMask(std::size_t length) {
    auto mask = std::make_shared<MultiArray>(MultiArray::Shape{1, length, length}, DataType::float32);
    for (std::size_t row = 0; row < length; ++row) {
        for (std::size_t column = row + 1; column < length; ++column) {
            mask->at<float>({0, row, column}) = maskedScore;
        }
    }
    return mask;
}

} // namespace

G2PModel& G2PModel::shared() {
    static G2PModel model;
    return model;
}

G2PModel::G2PModel(G2PModelEnvironment environment)
    : environment_(std::move(environment)), logger_("rev.ararerezod.evi", "G2PModel") {}

void G2PModel::ensureModelsAvailable() {
    std::lock_guard lock(mutex_);
    loadIfNeeded();
}

std::optional<std::vector<std::string>> G2PModel::phonemize(const std::string& word) {
    std::lock_guard lock(mutex_);
    if (!environment_.loadUnlessExcused([this] { loadIfNeeded(); }, logger_,
                                        "G2P unavailable in CI, returning nil for word: " + word)) {
        return std::nullopt;
    }
    auto tokens = vocabulary_->phonemes(decode(encode(word)));
    if (tokens.empty()) {
        return std::nullopt;
    }
    return tokens;
}

void G2PModel::loadIfNeeded() {
    if (vocabulary_ && encoder_ && decoder_) {
        return;
    }
    const auto folder = environment_.modelFolder();
    const auto file = folder / vocabularyFile;
    if (!platform::sys::isPresent(file)) {
        throw G2PModelError::vocabLoadFailed(std::string(vocabularyFile) + " not found at " + file.string());
    }
    vocabulary_ = G2PVocabulary::parse(platform::sys::wholeFile(file));
    logger_.info("Loaded G2P vocab (" + std::to_string(vocabulary_->graphemeToId.size()) + " graphemes, " +
                 std::to_string(vocabulary_->idToPhoneme.size()) + " phonemes)");
    const auto encoderBundle = folder / "G2PEncoder.mlmodelc";
    const auto decoderBundle = folder / "G2PDecoder.mlmodelc";
    if (const auto missing = G2PEncoderDecoder::firstMissing({encoderBundle, decoderBundle})) {
        throw G2PModelError::modelLoadFailed(missing->filename().string() + " not found at " + missing->string());
    }
    encoder_ = G2PEncoderDecoder::loadOnCpu(encoderBundle);
    decoder_ = G2PEncoderDecoder::loadOnCpu(decoderBundle);
    logger_.info("Loaded G2P CoreML models");
}

std::shared_ptr<MultiArray> G2PModel::encode(const std::string& word) const {
    const platform::ml::DictionaryFeatureProvider inputs(
        {{"input_ids", FeatureValue(G2PEncoderDecoder::int32Sequence(vocabulary_->inputIds(word)))}});
    auto hiddenStates = G2PEncoderDecoder::predictedArray(*encoder_, inputs, "encoder_hidden_states");
    if (!hiddenStates) {
        throw G2PModelError::encoderPredictionFailed();
    }
    return hiddenStates;
}

std::vector<std::int32_t> G2PModel::decode(const std::shared_ptr<MultiArray>& hiddenStates) const {
    const G2PEncoderDecoder::GreedyDecoding decoding{
        .startId = vocabulary_->bosTokenId, .eosId = vocabulary_->eosTokenId, .maxSteps = maxDecodeSteps};
    return decoding.decode([&](std::span<const std::int32_t> sequence) {
        const platform::ml::DictionaryFeatureProvider inputs({
            {"decoder_input_ids", FeatureValue(G2PEncoderDecoder::int32Sequence(sequence))},
            {"encoder_hidden_states", FeatureValue(hiddenStates)},
            {"position_ids", FeatureValue(positionIds(sequence.size()))},
            {"causal_mask", FeatureValue(causalMask(sequence.size()))},
        });
        auto logits = G2PEncoderDecoder::predictedArray(*decoder_, inputs, "logits");
        if (!logits || !G2PEncoderDecoder::holdsScoresFor(*logits, sequence.size())) {
            throw G2PModelError::decoderPredictionFailed();
        }
        return logits;
    });
}

} // namespace quorl
