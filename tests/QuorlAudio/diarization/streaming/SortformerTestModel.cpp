#include "tests/QuorlAudio/diarization/streaming/SortformerTestModel.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"
#include "platform/dsp/Half.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <algorithm>
#include <cmath>

namespace quorl::testing {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

constexpr std::size_t mels = SortformerConfig::melFeatures;
constexpr std::size_t dims = SortformerConfig::preEncoderDims;
constexpr std::size_t speakers = SortformerConfig::numSpeakers;
constexpr std::size_t subsampling = SortformerConfig::subsamplingFactor;

std::size_t lengthOf(const ScriptedKernel::Call& call, const std::string& name) {
    return static_cast<std::size_t>(call.inputs.at(name).multiArrayValue()->value(0));
}

std::shared_ptr<MultiArray> floats(MultiArray::Shape shape, DataType type = DataType::float32) {
    return std::make_shared<MultiArray>(std::move(shape), type);
}

} // namespace

SortformerTestModel::SortformerTestModel(std::string kernelName, SortformerTestOutputs outputs)
    : kernel(std::move(kernelName), [this](const ScriptedKernel::Call& call) { return predict(call); }),
      outputs_(outputs) {}

float SortformerTestModel::loudness(const float* melFrames, std::size_t frameCount) {
    float total = 0;
    for (std::size_t index = 0; index < frameCount * mels; ++index) {
        total += melFrames[index];
    }
    const float mean = frameCount == 0 ? -20.0f : total / static_cast<float>(frameCount * mels);
    return 1.0f / (1.0f + std::exp(-(mean + 8.0f)));
}

ScriptedKernel::Outputs SortformerTestModel::predict(const ScriptedKernel::Call& call) const {
    if (beforePrediction) {
        beforePrediction(call.index);
    }
    const auto chunk = call.inputs.at("chunk").multiArrayValue();
    const std::size_t melFrames = std::min(lengthOf(call, "chunk_lengths"), chunk->shape()[1]);
    const std::size_t frames = (melFrames + subsampling - 1) / subsampling;
    const std::size_t memory = lengthOf(call, "spkcache_lengths") + lengthOf(call, "fifo_lengths");
    auto predictions = floats({1, memory + frames, speakers});
    auto embeddings = floats({1, frames, dims});
    float* preds = predictions->data<float>();
    std::fill(preds, preds + memory * speakers, 0.1f);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const std::size_t first = frame * subsampling;
        const float level = loudness(chunk->data<float>() + first * mels, std::min(subsampling, melFrames - first));
        preds[(memory + frame) * speakers] = level;
        preds[(memory + frame) * speakers + 1] = 1.0f - level;
        embeddings->at<float>({0, frame, 0}) = level;
    }
    auto length = std::make_shared<MultiArray>(MultiArray::Shape{outputs_.emptyLengthsOut ? 0u : 1u}, DataType::int32);
    if (!outputs_.emptyLengthsOut) {
        length->at<std::int32_t>(0) = static_cast<std::int32_t>(frames);
    }
    ScriptedKernel::Outputs answer;
    if (outputs_.predictionsOut) {
        answer.emplace("speaker_preds_out", FeatureValue(predictions));
    }
    if (outputs_.predictions) {
        answer.emplace("speaker_preds", FeatureValue(predictions));
    }
    if (outputs_.lengthsOut || outputs_.emptyLengthsOut) {
        answer.emplace("chunk_pre_encoder_lengths_out", FeatureValue(length));
    }
    if (outputs_.lengths) {
        auto plain = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
        plain->at<std::int32_t>(0) = static_cast<std::int32_t>(frames);
        answer.emplace("chunk_pre_encoder_lengths", FeatureValue(plain));
    }
    if (outputs_.halfPrecisionEmbeddings) {
        auto half = floats({1, frames, dims}, DataType::float16);
        for (std::size_t index = 0; index < half->count(); ++index) {
            half->setValue(index, embeddings->value(index));
        }
        answer.emplace("chunk_pre_encoder_embs_out", FeatureValue(half));
    } else if (outputs_.embeddingsOut) {
        answer.emplace("chunk_pre_encoder_embs_out", FeatureValue(embeddings));
    }
    if (outputs_.embeddings) {
        answer.emplace("chunk_pre_encoder_embs", FeatureValue(embeddings));
    }
    return answer;
}

std::filesystem::path SortformerTestModel::writePackage(const std::filesystem::path& folder,
                                                        const nlohmann::json& creatorDefined) const {
    const auto& config = SortformerConfig::defaultConfig();
    const auto frames = [](int count) { return static_cast<std::size_t>(count); };
    auto manifest = testsupport::modelManifest(kernel.name(),
                                               {multiArrayFeature("chunk", {1, frames(config.chunkMelFrames()), mels}),
                                                multiArrayFeature("chunk_lengths", {1}, DataType::int32),
                                                multiArrayFeature("spkcache", {1, frames(config.spkcacheLen), dims}),
                                                multiArrayFeature("spkcache_lengths", {1}, DataType::int32),
                                                multiArrayFeature("fifo", {1, frames(config.fifoLen), dims}),
                                                multiArrayFeature("fifo_lengths", {1}, DataType::int32)},
                                               {});
    if (!creatorDefined.is_null()) {
        manifest["metadata"]["creatorDefined"] = creatorDefined;
    }
    return testsupport::writeModelBundle(folder, "Sortformer.mlpackage", manifest);
}

SortformerModels SortformerTestModel::load(const std::filesystem::path& folder,
                                           const nlohmann::json& creatorDefined) const {
    return SortformerModels::load(SortformerConfig::defaultConfig(), writePackage(folder, creatorDefined));
}

} // namespace quorl::testing
