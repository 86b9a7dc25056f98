#include "QuorlAudio/asr/multilingual/NemotronMultilingualChunkEncoder.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualMelCache.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"
#include "platform/ml/StatefulModels.hpp"

#include <chrono>
#include <map>
#include <string>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

std::uint64_t now() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

std::shared_ptr<MultiArray> int32Scalar(std::int64_t value) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->data<std::int32_t>()[0] = static_cast<std::int32_t>(value);
    return array;
}

void replaceIfPresent(std::shared_ptr<MultiArray>& stored, const platform::ml::FeatureProvider& outputs,
                      const std::string& name) {
    if (auto array = platform::ml::multiArrayOutput(outputs, name)) {
        stored = std::move(array);
    }
}

} // namespace

NemotronMultilingualEncoding
NemotronMultilingualChunkEncoder::encode(std::span<const float> samples, NemotronMultilingualStreamState& state,
                                         NemotronMultilingualStatistics& statistics) const {
    const std::uint64_t t0 = now();
    const auto mel = melExtractor.melSpectrogram(samples);
    statistics.prepNanos += now() - t0;

    const std::uint64_t t1 = now();
    const NemotronMultilingualMelCache::Geometry geometry{
        .totalMelFrames = config.totalMelFrames,
        .melFeatures = config.melFeatures,
        .preEncodeCache = config.preEncodeCache,
    };
    std::map<std::string, FeatureValue> inputs{
        {"mel", FeatureValue(NemotronMultilingualMelCache::prepend(state.melCache.get(), *mel, geometry))},
        {"mel_length", FeatureValue(int32Scalar(config.totalMelFrames))},
        {"cache_len", FeatureValue(state.cacheLen)},
        {"prompt_id", FeatureValue(int32Scalar(promptId))},
    };
    const bool stateful = platform::ml::statefulModelsSupported() && state.encoderState;
    if (!stateful) {
        inputs.emplace("cache_channel", FeatureValue(state.cacheChannel));
        inputs.emplace("cache_time", FeatureValue(state.cacheTime));
    }
    const platform::ml::DictionaryFeatureProvider provider(std::move(inputs));
    const auto options = models.encoderPredictionOptions.value_or(platform::ml::PredictionOptions{});
    const auto outputs = stateful ? models.encoder->predict(provider, *state.encoderState, options)
                                  : models.encoder->predict(provider, options);
    takeCaches(*outputs, stateful, state);
    NemotronMultilingualEncoding encoding{
        .encoded = platform::ml::multiArrayOutput(*outputs, "encoded"),
        .encoderProj = platform::ml::multiArrayOutput(*outputs, "encoder_proj"),
        .advancedEncoderState = stateful,
    };
    if (!encoding.encoded) {
        throw ASRError::processingFailed("Encoder failed to produce output");
    }
    statistics.encNanos += now() - t1;
    state.melCache = NemotronMultilingualMelCache::extract(*mel, geometry);
    return encoding;
}

// A cache output the encoder did not give leaves the stored cache to be fed again.
void NemotronMultilingualChunkEncoder::takeCaches(const platform::ml::FeatureProvider& outputs, bool stateful,
                                                  NemotronMultilingualStreamState& state) const {
    if (!stateful) {
        replaceIfPresent(state.cacheChannel, outputs, "cache_channel_out");
        replaceIfPresent(state.cacheTime, outputs, "cache_time_out");
    }
    replaceIfPresent(state.cacheLen, outputs, "cache_len_out");
}

} // namespace quorl
