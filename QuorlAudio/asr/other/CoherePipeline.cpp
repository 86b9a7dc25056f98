#include "QuorlAudio/asr/other/CoherePipeline.hpp"

#include "QuorlAudio/asr/other/CohereAsrError.hpp"
#include "QuorlAudio/asr/other/CohereTokenStreamMerge.hpp"
#include "QuorlAudio/asr/other/CohereTokenText.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <utility>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

CohereMelSpectrogram validated(CohereMelSpectrogram mel) {
    if (mel.config().nMels != CohereAsrConfig::numMelBins) {
        throw std::invalid_argument("CoherePipeline: the encoder takes 128 mel bands, the front end makes " +
                                    std::to_string(mel.config().nMels));
    }
    return mel;
}

} // namespace

CoherePipeline::CoherePipeline(CohereMelSpectrogram mel) : melExtractor_(validated(std::move(mel))) {}

CoherePipeline::TranscriptionResult CoherePipeline::transcribe(std::span<const float> audio, const LoadedModels& models,
                                                               const CohereDecodingOptions& options) {
    std::lock_guard lock(mutex_);
    const auto start = Clock::now();
    auto window = transcribeWindow(audio, models, options);
    auto text = CohereTokenText::convertTokensToText(window.tokenIds, models.vocabulary);
    return {.text = std::move(text),
            .tokenIds = std::move(window.tokenIds),
            .encoderSeconds = window.encoderSeconds,
            .decoderSeconds = window.decoderSeconds,
            .totalSeconds = secondsSince(start)};
}

CoherePipeline::TranscriptionResult CoherePipeline::transcribeLong(std::span<const float> audio,
                                                                   const LoadedModels& models,
                                                                   const CohereDecodingOptions& options) {
    if (audio.size() <= windowSamples) {
        return transcribe(audio, models, options);
    }
    std::lock_guard lock(mutex_);
    const auto start = Clock::now();
    TranscriptionResult result{.text = {}, .tokenIds = {}, .encoderSeconds = 0, .decoderSeconds = 0, .totalSeconds = 0};
    for (const auto& window : longAudioWindows(audio.size())) {
        const auto tokens = transcribeWindow(audio.subspan(window.start, window.end - window.start), models, options);
        result.encoderSeconds += tokens.encoderSeconds;
        result.decoderSeconds += tokens.decoderSeconds;
        result.tokenIds = CohereTokenStreamMerge::mergeTokenStreams(result.tokenIds, tokens.tokenIds, mergeWindowTokens,
                                                                    mergeMinMatch);
    }
    result.text = CohereTokenText::convertTokensToText(result.tokenIds, models.vocabulary);
    result.totalSeconds = secondsSince(start);
    return result;
}

std::vector<CoherePipeline::Window> CoherePipeline::longAudioWindows(std::size_t sampleCount) {
    std::vector<Window> windows;
    for (std::size_t start = 0;; start += windowStep) {
        windows.push_back({.start = start, .end = std::min(sampleCount, start + windowSamples)});
        if (start + windowSamples >= sampleCount) {
            return windows;
        }
    }
}

int CoherePipeline::encoderValidFrames(int featureLength, int encoderSeqLen, int melFrames, int encoderFrames) {
    const double scaled = std::ceil(static_cast<double>(featureLength) * encoderFrames / melFrames);
    return static_cast<int>(std::max(1.0, std::min(static_cast<double>(encoderSeqLen), scaled)));
}

CoherePipeline::WindowTokens CoherePipeline::transcribeWindow(std::span<const float> audio, const LoadedModels& models,
                                                              const CohereDecodingOptions& options) const {
    auto features = melExtractor_.compute(audio);
    const auto padded = CohereMelSpectrogram::padOrTruncate(std::move(features.mel), features.validFrames, melFrames);
    if (padded.featureLength < 1) {
        throw CohereAsrError::invalidInput("Audio too short to extract mel features");
    }
    const auto encoderStart = Clock::now();
    const auto encoded = runEncoder(padded.mel, padded.featureLength, *models.encoder);
    const double encoderSeconds = secondsSince(encoderStart);
    const auto decoderStart = Clock::now();
    auto tokenIds =
        CohereDecoderLoop(*models.decoder, usesStaticSelfMask(models.decoderVariant)).decode(encoded, options);
    return {.tokenIds = std::move(tokenIds),
            .encoderSeconds = encoderSeconds,
            .decoderSeconds = secondsSince(decoderStart)};
}

CohereEncodedAudio CoherePipeline::runEncoder(const std::vector<std::vector<float>>& paddedMel, int featureLength,
                                              const platform::ml::Model& encoder) {
    const auto frames = static_cast<std::size_t>(melFrames);
    auto features = std::make_shared<MultiArray>(
        MultiArray::Shape{1, static_cast<std::size_t>(CohereAsrConfig::numMelBins), frames}, DataType::float32);
    for (std::size_t band = 0; band < paddedMel.size(); ++band) {
        std::copy_n(paddedMel[band].begin(), frames, features->data<float>() + band * frames);
    }
    auto length = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    length->at<std::int32_t>(0) = featureLength;
    const auto output = encoder.predict(platform::ml::DictionaryFeatureProvider(
        {{"input_features", FeatureValue(features)}, {"feature_length", FeatureValue(length)}}));
    const auto value = output->featureValue("hidden_states");
    auto hiddenStates = value ? value->multiArrayValue() : nullptr;
    if (!hiddenStates) {
        throw CohereAsrError::encodingFailed("Encoder output missing 'hidden_states'");
    }
    const int sequenceLength = hiddenStates->shape().size() >= 2 ? static_cast<int>(hiddenStates->shape()[1]) : 0;
    return {.hiddenStates = std::move(hiddenStates),
            .validFrames = encoderValidFrames(featureLength, sequenceLength, melFrames, encoderFrames)};
}

} // namespace quorl
