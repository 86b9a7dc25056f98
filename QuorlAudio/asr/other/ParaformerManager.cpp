#include "QuorlAudio/asr/other/ParaformerManager.hpp"

#include "QuorlAudio/asr/other/ModelArrays.hpp"
#include "QuorlAudio/asr/other/ParaformerCif.hpp"
#include "QuorlAudio/asr/other/ParaformerConfig.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/WordPieceText.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/BestScoreIndex.hpp"
#include "platform/ml/FeatureValue.hpp"

#include <algorithm>
#include <cstddef>
#include <map>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Config = ParaformerConfig;

std::size_t size(int count) { return static_cast<std::size_t>(std::max(count, 0)); }

std::shared_ptr<MultiArray> predict(const platform::ml::Model& model, std::map<std::string, FeatureValue> inputs,
                                    const std::string& output, const std::string& producer) {
    return predictOutput(model, std::move(inputs), output, concatenated({"Paraformer ", producer}));
}

bool isSpecialToken(int id) { return id == Config::blankId || id == Config::sosId || id == Config::eosId; }

} // namespace

ParaformerManager::ParaformerManager(ParaformerModels models) : models_(std::move(models)) {}

const AppLogger& ParaformerManager::logger() {
    static const AppLogger instance("ParaformerManager");
    return instance;
}

std::shared_ptr<ParaformerManager> ParaformerManager::load(ParaformerPrecision precision,
                                                           const ProgressHandler& progressHandler) {
    const auto folder = ParaformerModels::download({.precision = precision}, progressHandler);
    return std::make_shared<ParaformerManager>(ParaformerModels::load(folder, precision));
}

std::string ParaformerManager::transcribe(const std::filesystem::path& audioURL) {
    const AudioConverter converter(static_cast<double>(Config::sampleRate));
    return transcribe(converter.resampleAudioFile(audioURL));
}

std::string ParaformerManager::transcribe(std::span<const float> audio) {
    std::lock_guard lock(mutex_);
    return transcribeLocked(audio);
}

std::string ParaformerManager::transcribeLocked(std::span<const float> audio) {
    const auto features = runPreprocessor(audio);
    const int frames = features->shape().size() >= 2 ? static_cast<int>(features->shape()[1]) : 0;
    int validLen = frames;
    if (frames > Config::decoderEncFrames) {
        logger().warning(concatenated({"audio too long (", std::to_string(frames), " frames); truncating to ",
                                       std::to_string(Config::decoderEncFrames)}));
        validLen = Config::decoderEncFrames;
    }
    const auto encOut = runEncoder(*features, validLen, Config::pickEncoderBucket(validLen));
    const auto alphas = runCifAlphas(encOut, validLen);
    const auto encRows = rows(*encOut, validLen, Config::encoderDim);
    const auto embeds = ParaformerCif::integrateAndFire(encRows, alphas);
    const int tokenCount = static_cast<int>(std::min<std::size_t>(embeds.count(), Config::decoderMaxTokens));
    if (tokenCount == 0) {
        return "";
    }
    return decode(*runDecoder(encRows, validLen, embeds, tokenCount), tokenCount);
}

ParaformerManager::Array ParaformerManager::runPreprocessor(std::span<const float> audio) const {
    auto waveform = float32Zeros({1, audio.size()});
    std::ranges::transform(audio, waveform->data<float>(), [](float sample) { return sample * Config::waveformScale; });
    return predict(*models_.preprocessor, {{"waveform", FeatureValue(waveform)}}, "features", "preprocessor");
}

ParaformerManager::Array ParaformerManager::runEncoder(const MultiArray& features, int validLen, int bucket) const {
    auto speech = float32Zeros({1, size(bucket), size(Config::featureDim)});
    copyLeading(features, size(validLen) * size(Config::featureDim), floats(*speech));
    return predict(*models_.encoder,
                   {{"speech", FeatureValue(speech)}, {"speech_lengths", FeatureValue(int32Scalar(validLen))}},
                   "enc_out", "encoder");
}

std::vector<float> ParaformerManager::runCifAlphas(const Array& encOut, int validLen) const {
    const auto alphas = predict(*models_.cifAlphas, {{"enc_out", FeatureValue(encOut)}}, "alphas", "CifAlphas");
    std::vector<float> weights(std::min(size(validLen), alphas->count()));
    copyLeading(*alphas, weights.size(), weights);
    return weights;
}

ParaformerManager::Array ParaformerManager::runDecoder(const FeatureRows& encRows, int validLen,
                                                       const FeatureRows& embeds, int tokenCount) const {
    auto enc = float32Zeros({1, size(Config::decoderEncFrames), size(Config::encoderDim)});
    std::ranges::copy(encRows.values, enc->data<float>());
    auto ac = float32Zeros({1, size(Config::decoderMaxTokens), size(Config::encoderDim)});
    std::copy_n(embeds.values.begin(), size(tokenCount) * embeds.width, ac->data<float>());
    return predict(*models_.decoder,
                   {{"enc", FeatureValue(enc)},
                    {"elen", FeatureValue(int32Scalar(validLen))},
                    {"ac", FeatureValue(ac)},
                    {"tn", FeatureValue(int32Scalar(tokenCount))}},
                   "logits", "decoder");
}

FeatureRows ParaformerManager::rows(const MultiArray& array, int count, int dim) {
    FeatureRows rows{.width = size(dim), .values = std::vector<float>(size(count) * size(dim), 0.0f)};
    copyLeading(array, rows.values.size(), rows.values);
    return rows;
}

std::string ParaformerManager::decode(const MultiArray& logits, int tokenCount) const {
    const auto& shape = logits.shape();
    if (shape.size() < 3 || shape[2] == 0) {
        return "";
    }
    std::string pieces;
    for (std::size_t position = 0; position < std::min(size(tokenCount), shape[1]); ++position) {
        const auto id = static_cast<int>(platform::ml::bestScoreIndex(logits, position));
        const auto piece = models_.vocabulary.find(id);
        if (!isSpecialToken(id) && piece != models_.vocabulary.end()) {
            pieces += piece->second;
        }
    }
    return wordPieceText(pieces);
}

} // namespace quorl
