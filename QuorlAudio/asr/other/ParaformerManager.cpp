#include "QuorlAudio/asr/other/ParaformerManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/other/ParaformerCif.hpp"
#include "QuorlAudio/asr/other/ParaformerConfig.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/WordPieceText.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Config = ParaformerConfig;

std::size_t size(int count) { return static_cast<std::size_t>(std::max(count, 0)); }

bool isDenseFloat(const MultiArray& array) {
    return array.dataType() == DataType::float32 && array.strides() == platform::ml::denseStrides(array.shape());
}

// The first `count` elements of the array in row-major order into `destination`, as many as the array holds:
// one block copy for dense 32-bit floats, element by element through the strides otherwise.
void copyLeading(const MultiArray& array, std::size_t count, std::span<float> destination) {
    const std::size_t copied = std::min({count, array.count(), destination.size()});
    if (isDenseFloat(array)) {
        std::copy_n(array.data<float>(), copied, destination.begin());
        return;
    }
    for (std::size_t index = 0; index < copied; ++index) {
        destination[index] = static_cast<float>(array.value(index));
    }
}

std::shared_ptr<MultiArray> zeros(MultiArray::Shape shape) {
    return std::make_shared<MultiArray>(std::move(shape), DataType::float32);
}

std::span<float> floats(MultiArray& array) { return {array.data<float>(), array.count()}; }

std::shared_ptr<MultiArray> int32Scalar(int value) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->at<std::int32_t>(0) = value;
    return array;
}

std::shared_ptr<MultiArray> predictOutput(const platform::ml::Model& model,
                                          std::map<std::string, FeatureValue> inputs, const std::string& output,
                                          const std::string& producer) {
    const auto result = model.predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)));
    const auto value = result->featureValue(output);
    auto array = value ? value->multiArrayValue() : nullptr;
    if (!array) {
        throw ASRError::processingFailed(concatenated({"Paraformer ", producer, " produced no `", output, "`"}));
    }
    return array;
}

// The index of the greatest of `width` scores read by `score`; a tie keeps the lower index.
template <class Score>
std::size_t bestIndex(std::size_t width, Score score) {
    std::size_t best = 0;
    float bestScore = -std::numeric_limits<float>::infinity();
    for (std::size_t index = 0; index < width; ++index) {
        const float candidate = score(index);
        if (candidate > bestScore) {
            bestScore = candidate;
            best = index;
        }
    }
    return best;
}

// The scores of one token position, [0, position, ·]: read through the strides for 32-bit floats, by value
// otherwise.
std::function<float(std::size_t)> scoresAt(const MultiArray& logits, std::size_t position) {
    if (logits.dataType() == DataType::float32) {
        const std::array<std::size_t, 3> start{0, position, 0};
        const float* row = logits.data<float>() + logits.offsetOf(start);
        const std::size_t stride = logits.strides()[2];
        return [row, stride](std::size_t index) { return row[index * stride]; };
    }
    const std::size_t first = position * logits.shape()[2];
    return [&logits, first](std::size_t index) { return static_cast<float>(logits.value(first + index)); };
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
    const auto folder = ParaformerModels::download(precision, false, progressHandler);
    return std::make_shared<ParaformerManager>(ParaformerModels::load(folder, precision));
}

std::string ParaformerManager::transcribe(const std::filesystem::path& audioURL) {
    const AudioConverter converter(static_cast<double>(Config::sampleRate), false);
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
    auto waveform = zeros({1, audio.size()});
    std::ranges::transform(audio, waveform->data<float>(), [](float sample) { return sample * Config::waveformScale; });
    return predictOutput(*models_.preprocessor, {{"waveform", FeatureValue(waveform)}}, "features", "preprocessor");
}

ParaformerManager::Array ParaformerManager::runEncoder(const MultiArray& features, int validLen, int bucket) const {
    auto speech = zeros({1, size(bucket), size(Config::featureDim)});
    copyLeading(features, size(validLen) * size(Config::featureDim), floats(*speech));
    return predictOutput(*models_.encoder,
                         {{"speech", FeatureValue(speech)}, {"speech_lengths", FeatureValue(int32Scalar(validLen))}},
                         "enc_out", "encoder");
}

std::vector<float> ParaformerManager::runCifAlphas(const Array& encOut, int validLen) const {
    const auto alphas = predictOutput(*models_.cifAlphas, {{"enc_out", FeatureValue(encOut)}}, "alphas", "CifAlphas");
    std::vector<float> weights(std::min(size(validLen), alphas->count()));
    copyLeading(*alphas, weights.size(), weights);
    return weights;
}

ParaformerManager::Array ParaformerManager::runDecoder(const FeatureRows& encRows, int validLen,
                                                       const FeatureRows& embeds, int tokenCount) const {
    auto enc = zeros({1, size(Config::decoderEncFrames), size(Config::encoderDim)});
    std::ranges::copy(encRows.values, enc->data<float>());
    auto ac = zeros({1, size(Config::decoderMaxTokens), size(Config::encoderDim)});
    std::copy_n(embeds.values.begin(), size(tokenCount) * embeds.width, ac->data<float>());
    return predictOutput(*models_.decoder,
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
    const std::size_t width = shape[2];
    std::string pieces;
    for (std::size_t position = 0; position < std::min(size(tokenCount), shape[1]); ++position) {
        const auto id = static_cast<int>(bestIndex(width, scoresAt(logits, position)));
        const auto piece = models_.vocabulary.find(id);
        if (!isSpecialToken(id) && piece != models_.vocabulary.end()) {
            pieces += piece->second;
        }
    }
    return wordPieceText(pieces);
}

} // namespace quorl
