#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"

#include "QuorlAudio/diarization/offline/EmbeddingExtractionRun.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/foundation/PrefetchToNeuralEngine.hpp"
#include "QuorlAudio/foundation/ZeroCopyDiarizerFeatureProvider.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/ml/ArrayBatchProvider.hpp"
#include "platform/ml/MultiArrayFloats.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::FeatureType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

const std::string fbankInputName = "audio";
const std::string fbankOutputName = "fbank_features";
const std::string fbankFeatureName = "fbank_features";
const std::string weightInputName = "weights";
const std::string embeddingOutputName = "embedding";
constexpr std::int64_t defaultWeightFrames = 589;
constexpr std::int64_t maxModelBatch = 32;

const AppLogger& logger() {
    static const AppLogger instance("OfflineEmbedding");
    return instance;
}

[[noreturn]] void missingFeature(const std::string& message) {
    logger().error(message);
    throw OfflineDiarizationError::processingFailed(message);
}

const platform::ml::FeatureDescription* find(const std::map<std::string, platform::ml::FeatureDescription>& features,
                                             const std::string& name) {
    const auto found = features.find(name);
    return found == features.end() ? nullptr : &found->second;
}

std::string shapeText(const EmbeddingInputShape::Shape& shape) {
    std::string text;
    for (const auto dimension : shape) {
        text += (text.empty() ? "" : "\u00D7") + std::to_string(dimension);
    }
    return text;
}

// A zero-filled tensor of `shape` whose first elements are the first `count` values.
std::shared_ptr<MultiArray> filledTensor(ANEMemoryOptimizer& pool, const EmbeddingInputShape::Shape& shape,
                                         const float* values, std::size_t count) {
    auto tensor = pool.createAlignedArray(shape, DataType::float32);
    std::copy_n(values, std::min(count, tensor->count()), tensor->data<float>());
    return tensor;
}

} // namespace

OfflineEmbeddingExtractor::OfflineEmbeddingExtractor(std::shared_ptr<platform::ml::Model> fbankModel,
                                                     std::shared_ptr<platform::ml::Model> embeddingModel,
                                                     PLDATransform pldaTransform, OfflineDiarizerConfig config)
    : fbankModel_(std::move(fbankModel)), embeddingModel_(std::move(embeddingModel)),
      pldaTransform_(std::move(pldaTransform)), config_(std::move(config)),
      memoryOptimizer_(std::make_shared<ANEMemoryOptimizer>()) {
    discoverFbankModel();
    discoverEmbeddingModel();
    logConfiguration();
}

void OfflineEmbeddingExtractor::discoverFbankModel() {
    const auto& description = fbankModel_->description();
    const auto* audio = find(description.inputDescriptionsByName, fbankInputName);
    if (audio == nullptr || !audio->multiArrayConstraint) {
        missingFeature("FBANK model is missing `audio` multiarray input; required for offline pipeline");
    }
    const auto& constraint = *audio->multiArrayConstraint;
    const std::int64_t windowSamples = config_.samplesPerWindow();
    audioSampleCount_ = std::max<std::int64_t>(
        1, std::min(EmbeddingInputShape::resolveElementCount(constraint, windowSamples), windowSamples));
    const auto rank = std::max<std::size_t>(3, EmbeddingInputShape::dimensionHint(constraint));
    fbankInputShape_ =
        EmbeddingInputShape::sanitizedShape(constraint, EmbeddingInputShape::fallbackShape(rank, audioSampleCount_));
    const auto* features = find(description.outputDescriptionsByName, fbankOutputName);
    if (features == nullptr || features->type != FeatureType::multiArray) {
        missingFeature("FBANK model missing `fbank_features` multiarray output");
    }
}

void OfflineEmbeddingExtractor::discoverEmbeddingModel() {
    const auto& description = embeddingModel_->description();
    const auto* features = find(description.inputDescriptionsByName, fbankFeatureName);
    if (features == nullptr || features->type != FeatureType::multiArray) {
        missingFeature("Embedding model missing `fbank_features` multiarray input");
    }
    const auto* weights = find(description.inputDescriptionsByName, weightInputName);
    if (weights == nullptr || !weights->multiArrayConstraint) {
        missingFeature("Embedding model missing `weights` multiarray input");
    }
    const auto& constraint = *weights->multiArrayConstraint;
    weightFrameCount_ =
        std::max<std::int64_t>(1, EmbeddingInputShape::resolveElementCount(constraint, defaultWeightFrames));
    const auto rank = std::max<std::size_t>(2, EmbeddingInputShape::dimensionHint(constraint));
    weightInputShape_ =
        EmbeddingInputShape::sanitizedShape(constraint, EmbeddingInputShape::fallbackShape(rank, weightFrameCount_));
    modelBatchLimit_ = std::min(std::max<std::int64_t>(1, config_.embedding.batchSize), maxModelBatch);
    if (find(description.outputDescriptionsByName, embeddingOutputName) == nullptr) {
        missingFeature("Embedding model missing `embedding` multiarray output");
    }
}

void OfflineEmbeddingExtractor::logConfiguration() const {
    logger().debug(concatenated({"Offline embedding configured with FBANK input ", fbankInputName, "[",
                                 shapeText(fbankInputShape_), "] \u2192 ", fbankOutputName, "; embedding consumes ",
                                 fbankFeatureName, " + ", weightInputName, "[", shapeText(weightInputShape_),
                                 "] (frames=", std::to_string(weightFrameCount_),
                                 "), maxBatch=", std::to_string(modelBatchLimit_), ", output=", embeddingOutputName}));
}

std::shared_ptr<MultiArray> OfflineEmbeddingExtractor::prepareFbankInput(const float* chunkPointer,
                                                                         std::int64_t length) const {
    const auto count = std::min(std::max<std::int64_t>(0, length), audioSampleCount_);
    return filledTensor(*memoryOptimizer_, fbankInputShape_, chunkPointer, static_cast<std::size_t>(count));
}

std::vector<std::shared_ptr<MultiArray>>
OfflineEmbeddingExtractor::runFbankBatch(const std::vector<std::shared_ptr<MultiArray>>& audioArrays) const {
    if (audioArrays.empty()) {
        return {};
    }
    std::vector<std::shared_ptr<const platform::ml::FeatureProvider>> providers;
    for (const auto& audio : audioArrays) {
        prefetchToNeuralEngine(*audio);
        providers.push_back(std::make_shared<ZeroCopyDiarizerFeatureProvider>(
            std::map<std::string, FeatureValue>{{fbankInputName, FeatureValue(audio)}}));
    }
    const auto results = fbankModel_->predictions(platform::ml::ArrayBatchProvider(std::move(providers)));
    if (results->count() != audioArrays.size()) {
        throw OfflineDiarizationError::processingFailed(
            concatenated({"FBANK batch produced ", std::to_string(results->count()), " outputs for ",
                          std::to_string(audioArrays.size()), " inputs"}));
    }
    std::vector<std::shared_ptr<MultiArray>> features;
    for (std::size_t index = 0; index < results->count(); ++index) {
        auto output = platform::ml::multiArrayOutput(*results->features(index), fbankOutputName);
        if (!output) {
            throw OfflineDiarizationError::processingFailed(concatenated(
                {"FBANK model missing ", fbankOutputName, " output at batch index ", std::to_string(index)}));
        }
        features.push_back(std::move(output));
    }
    return features;
}

std::shared_ptr<MultiArray>
OfflineEmbeddingExtractor::runFbankModel(const std::shared_ptr<MultiArray>& audioArray) const {
    auto features = runFbankBatch({audioArray});
    if (features.empty()) {
        throw OfflineDiarizationError::processingFailed("FBANK model produced no output");
    }
    return std::move(features.front());
}

std::shared_ptr<MultiArray> OfflineEmbeddingExtractor::prepareWeightsInput(std::span<const float> weights) const {
    const auto count = std::min(weights.size(), static_cast<std::size_t>(weightFrameCount_));
    return filledTensor(*memoryOptimizer_, weightInputShape_, weights.data(), count);
}

std::vector<float> OfflineEmbeddingExtractor::runEmbeddingModel(const std::shared_ptr<MultiArray>& fbankFeatures,
                                                                const std::shared_ptr<MultiArray>& weightsArray) const {
    const ZeroCopyDiarizerFeatureProvider provider(
        {{fbankFeatureName, FeatureValue(fbankFeatures)}, {weightInputName, FeatureValue(weightsArray)}});
    const auto output = platform::ml::multiArrayOutput(
        *embeddingModel_->predict(provider, platform::ml::PredictionOptions{}), embeddingOutputName);
    if (!output) {
        throw OfflineDiarizationError::processingFailed(
            concatenated({"Embedding model missing ", embeddingOutputName, " output"}));
    }
    return platform::ml::floatElements(*output);
}

void OfflineEmbeddingExtractor::performEmbeddingWarmup() const {
    const auto features = runFbankModel(memoryOptimizer_->createAlignedArray(fbankInputShape_, DataType::float32));
    const std::vector<float> silence(static_cast<std::size_t>(weightFrameCount_), 0.0f);
    runEmbeddingModel(features, prepareWeightsInput(silence));
}

std::vector<float> OfflineEmbeddingExtractor::embedSpan(const AudioSampleSource& audioSource, double startSeconds,
                                                        double endSeconds) const {
    const auto bounds = [&] {
        return concatenated({"[", decimalText(startSeconds), "s, ", decimalText(endSeconds), "s)"});
    };
    if (!std::isfinite(startSeconds) || !std::isfinite(endSeconds)) {
        throw OfflineDiarizationError::processingFailed("embedSpan: span bounds must be finite, got " + bounds());
    }
    // Clamped while still in floating point, so no time turns into an integer it cannot hold.
    const auto sampleRate = static_cast<double>(config_.segmentation.sampleRate);
    const auto windowSamples = static_cast<double>(config_.samplesPerWindow());
    const double first = std::max(0.0, std::round(startSeconds * sampleRate));
    const double end = std::min(static_cast<double>(audioSource.sampleCount()), std::round(endSeconds * sampleRate));
    const double length = std::min(end - first, windowSamples);
    if (!(length >= 1)) {
        throw OfflineDiarizationError::processingFailed("embedSpan: empty span " + bounds());
    }
    std::vector<float> samples(static_cast<std::size_t>(length), 0.0f);
    audioSource.copySamples(samples.data(), static_cast<std::int64_t>(first), static_cast<std::int64_t>(length));
    const auto features = runFbankModel(prepareFbankInput(samples.data(), static_cast<std::int64_t>(length)));
    const auto frames = static_cast<double>(weightFrameCount_);
    const auto active =
        static_cast<std::size_t>(std::max(1.0, std::min(frames, std::round(length / windowSamples * frames))));
    std::vector<float> weights(static_cast<std::size_t>(weightFrameCount_), 0.0f);
    std::fill_n(weights.begin(), active, 1.0f);
    return runEmbeddingModel(features, prepareWeightsInput(weights));
}

std::vector<TimedEmbedding>
OfflineEmbeddingExtractor::extractEmbeddings(const AudioSampleSource& audioSource,
                                             platform::core::AsyncStream<SegmentationChunk>& segmentationStream) const {
    return EmbeddingExtractionRun(*this, audioSource).run(segmentationStream);
}

std::vector<TimedEmbedding> OfflineEmbeddingExtractor::extractEmbeddings(std::vector<float> audio,
                                                                         const SegmentationOutput& segmentation) const {
    const ArrayAudioSampleSource source(std::move(audio));
    auto [stream, continuation] = platform::core::AsyncStream<SegmentationChunk>::makeStream();
    for (std::int64_t index = 0; index < segmentation.numChunks; ++index) {
        const auto window = static_cast<std::size_t>(index);
        if (window >= segmentation.speakerWeights.size() || segmentation.speakerWeights[window].empty()) {
            continue;
        }
        continuation.yield(SegmentationChunk{
            .chunkIndex = index,
            .chunkOffsetSeconds = window < segmentation.chunkOffsets.size()
                                      ? segmentation.chunkOffsets[window]
                                      : config_.segmentation.windowDurationSeconds * static_cast<double>(index),
            .frameDuration = segmentation.frameDuration,
            .logProbs = window < segmentation.logProbs.size() ? segmentation.logProbs[window]
                                                              : std::vector<std::vector<float>>{},
            .speakerWeights = segmentation.speakerWeights[window],
        });
    }
    continuation.finish();
    return extractEmbeddings(source, stream);
}

} // namespace quorl
