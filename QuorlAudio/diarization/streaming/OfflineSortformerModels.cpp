#include "QuorlAudio/diarization/streaming/OfflineSortformerModels.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"
#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesDiarization.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/ml/CompiledBundle.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayCopy.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::Model;
using platform::ml::ModelConfiguration;
using platform::ml::MultiArray;

using Clock = std::chrono::steady_clock;

const AppLogger& logger() {
    static const AppLogger instance("OfflineSortformerModels");
    return instance;
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::shared_ptr<Model> loadBundle(const fs::path& modelPath, platform::ml::ComputeUnits computeUnits) {
    const ModelConfiguration configuration{.computeUnits = computeUnits, .functionName = std::nullopt};
    if (modelPath.extension() == ".mlmodelc") {
        return Model::load(modelPath, configuration);
    }
    const platform::ml::CompiledBundle bundle(modelPath);
    return Model::load(bundle.path(), configuration);
}

// Every element in logical order, read through the array's strides.
std::vector<float> scalarsOf(const MultiArray& array) {
    std::vector<float> scalars(array.count());
    MultiArray dense(scalars.data(), array.shape(), DataType::float32, platform::ml::denseStrides(array.shape()),
                     [](void*) {});
    platform::ml::copyElements(array, dense);
    return scalars;
}

} // namespace

OfflineSortformerModels::OfflineSortformerModels(OfflineSortformerConfig config, std::shared_ptr<Model> main,
                                                 double compilationDuration)
    : mainModel(std::move(main)), compilationDuration(compilationDuration), config(config),
      memoryOptimizer(std::make_shared<ANEMemoryOptimizer>()),
      melArray(memoryOptimizer->createAlignedArray(
          {1, OfflineSortformerConfig::melFeatures, OfflineSortformerConfig::windowMelFrames()}, DataType::float32)),
      melLengthArray(memoryOptimizer->createAlignedArray({1}, DataType::int32)) {}

OfflineSortformerModels OfflineSortformerModels::load(const OfflineSortformerConfig& config, const fs::path& modelPath,
                                                      platform::ml::ComputeUnits computeUnits) {
    const auto start = Clock::now();
    auto model = loadBundle(modelPath, computeUnits);
    const double duration = secondsSince(start);
    logger().info(concatenated({"Loaded offline Sortformer model in ", fixedDecimalText(duration, 2),
                                "s (computeUnits=", std::to_string(platform::ml::rawValue(computeUnits)), ")"}));
    return OfflineSortformerModels(config, std::move(model), duration);
}

OfflineSortformerModels OfflineSortformerModels::loadFromHuggingFace(const OfflineSortformerConfig& config,
                                                                     const std::optional<fs::path>& cacheDirectory,
                                                                     platform::ml::ComputeUnits computeUnits,
                                                                     const ProgressHandler& progressHandler) {
    const auto start = Clock::now();
    const fs::path directory = cacheDirectory ? *cacheDirectory : MLModelConfigurationUtils::defaultModelsDirectory();
    const std::string bundle = ModelNames::Sortformer::offlineBundle(config.precision);
    logger().info(concatenated({"Downloading offline Sortformer model: ", bundle, "..."}));
    auto models = ModelHub::shared().loadModels({.repo = Repo::sortformer,
                                                 .modelNames = {bundle},
                                                 .directory = directory,
                                                 .computeUnits = computeUnits,
                                                 .variant = bundle},
                                                progressHandler);
    const auto found = models.find(bundle);
    if (found == models.end() || !found->second) {
        throw SortformerError::modelLoadFailed("Failed to load offline Sortformer model from HuggingFace");
    }
    const double duration = secondsSince(start);
    logger().info(
        concatenated({"Offline Sortformer model loaded from HuggingFace in ", fixedDecimalText(duration, 2), "s"}));
    return OfflineSortformerModels(config, found->second, duration);
}

std::vector<float> OfflineSortformerModels::runOffline(std::span<const float> melTimeMajor, int validMelFrames) {
    writeWindow(melTimeMajor, validMelFrames);
    const platform::ml::DictionaryFeatureProvider input({{"mel", melArray}, {"mel_length", melLengthArray}});
    const auto output = mainModel->predict(input);
    const auto predictions = output->featureValue("speaker_preds");
    const auto array = predictions ? predictions->multiArrayValue() : nullptr;
    if (!array || array->dataType() != DataType::float32) {
        throw SortformerError::inferenceFailed("Missing speaker_preds");
    }
    return scalarsOf(*array);
}

// Bin j of frame i goes to j * windowMelFrames + i; the frames after the valid ones are cleared, since the
// array still holds the previous window. A slice shorter than the valid frames counts only its whole frames.
void OfflineSortformerModels::writeWindow(std::span<const float> melTimeMajor, int validMelFrames) {
    constexpr std::size_t bins = OfflineSortformerConfig::melFeatures;
    constexpr std::size_t window = OfflineSortformerConfig::windowMelFrames();
    const std::size_t frames =
        std::min({static_cast<std::size_t>(std::max(validMelFrames, 0)), window, melTimeMajor.size() / bins});
    float* mel = melArray->data<float>();
    const std::size_t binStride = melArray->strides()[1];
    for (std::size_t bin = 0; bin < bins; ++bin) {
        float* row = mel + bin * binStride;
        for (std::size_t frame = 0; frame < frames; ++frame) {
            row[frame] = melTimeMajor[frame * bins + bin];
        }
        std::fill(row + frames, row + window, 0.0f);
    }
    melLengthArray->at<std::int32_t>(0) = static_cast<std::int32_t>(frames);
}

} // namespace quorl
