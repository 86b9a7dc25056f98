#include "QuorlAudio/asr/multilingual/NemotronMultilingualWarmup.hpp"

#include "QuorlAudio/asr/streaming/EncoderCacheManager.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <exception>
#include <map>
#include <optional>
#include <string>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using ArrayPointer = std::shared_ptr<MultiArray>;

// The width of a projected encoder frame and of the prediction network's output in every model of the
// family, whatever the metadata says.
constexpr std::size_t projectedWidth = 640;

ArrayPointer zeros(const MultiArray::Shape& shape) {
    return EncoderCacheManager::createZeroArray(shape, DataType::float32);
}

ArrayPointer int32Array(const MultiArray::Shape& shape, std::int64_t value) {
    auto array = std::make_shared<MultiArray>(shape, DataType::int32);
    array->data<std::int32_t>()[0] = static_cast<std::int32_t>(value);
    return array;
}

// A warm-up prediction whose answer nobody reads; a model that fails it simply stays cold.
void predictDiscarding(const platform::ml::Model& model, std::map<std::string, FeatureValue> inputs,
                       const platform::ml::PredictionOptions& options = {}) {
    try {
        model.predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)), options);
    } catch (const std::exception&) {}
}

} // namespace

struct NemotronMultilingualWarmup::TokenInputs {
    ArrayPointer token;
    ArrayPointer tokenLength;
    ArrayPointer encoder;
};

void NemotronMultilingualWarmup::run(const AppLogger& logger) const {
    if (!models.encoder || !state.cacheChannel || !state.cacheTime || !state.cacheLen || !state.hState ||
        !state.cState) {
        return;
    }
    runEncoder();
    std::optional<TokenInputs> inputs;
    try {
        inputs = TokenInputs{
            .token = int32Array({1, 1}, config.blankIdx),
            .tokenLength = int32Array({1}, 1),
            .encoder = zeros({1, static_cast<std::size_t>(config.encoderDim), 1}),
        };
    } catch (const std::exception&) {
        return;
    }
    runDecoderStep(*inputs);
    runBatchedJoint();
    logger.info("Model warm-up complete");
}

// No state object is passed, also for a stateful encoder: the warm-up must not advance the stream's state.
void NemotronMultilingualWarmup::runEncoder() const {
    std::map<std::string, FeatureValue> inputs;
    try {
        inputs = {
            {"mel", FeatureValue(zeros({1, static_cast<std::size_t>(config.melFeatures),
                                        static_cast<std::size_t>(config.totalMelFrames)}))},
            {"mel_length", FeatureValue(int32Array({1}, config.totalMelFrames))},
            {"cache_channel", FeatureValue(state.cacheChannel)},
            {"cache_time", FeatureValue(state.cacheTime)},
            {"cache_len", FeatureValue(state.cacheLen)},
            {"prompt_id", FeatureValue(int32Array({1}, promptId))},
        };
    } catch (const std::exception&) {
        return;
    }
    predictDiscarding(*models.encoder, std::move(inputs));
}

void NemotronMultilingualWarmup::runDecoderStep(const TokenInputs& inputs) const {
    const auto& fused = models.decoderJointArgmax ? models.decoderJointArgmax : models.decoderJoint;
    if (fused) {
        predictDiscarding(*fused, {
                                      {"token", FeatureValue(inputs.token)},
                                      {"token_length", FeatureValue(inputs.tokenLength)},
                                      {"h_in", FeatureValue(state.hState)},
                                      {"c_in", FeatureValue(state.cState)},
                                      {"encoder", FeatureValue(inputs.encoder)},
                                  });
    } else if (models.decoder && models.joint) {
        runBareDecoderAndJoint(inputs);
    }
}

// The joint runs even when the decoder failed: it is warmed on zeros, not on the decoder's answer.
void NemotronMultilingualWarmup::runBareDecoderAndJoint(const TokenInputs& inputs) const {
    predictDiscarding(*models.decoder, {
                                           {"token", FeatureValue(inputs.token)},
                                           {"token_length", FeatureValue(inputs.tokenLength)},
                                           {"h_in", FeatureValue(state.hState)},
                                           {"c_in", FeatureValue(state.cState)},
                                       });
    ArrayPointer decoderOutput;
    try {
        decoderOutput = zeros({1, projectedWidth, 1});
    } catch (const std::exception&) {
        return;
    }
    predictDiscarding(*models.joint,
                      {{"encoder", FeatureValue(inputs.encoder)}, {"decoder", FeatureValue(decoderOutput)}});
}

void NemotronMultilingualWarmup::runBatchedJoint() const {
    if (!models.jointNoEncProjBatched) {
        return;
    }
    std::map<std::string, FeatureValue> inputs;
    try {
        inputs = {
            {"encoder_proj",
             FeatureValue(zeros({1, static_cast<std::size_t>(models.jointNoEncProjBatchedK), projectedWidth}))},
            {"decoder", FeatureValue(zeros({1, projectedWidth, 1}))},
        };
    } catch (const std::exception&) {
        return;
    }
    predictDiscarding(*models.jointNoEncProjBatched, std::move(inputs),
                      models.jointNoEncProjBatchedPredictionOptions.value_or(platform::ml::PredictionOptions{}));
}

} // namespace quorl
