#pragma once

#include "QuorlAudio/diarization/streaming/OfflineSortformerConfig.hpp"
#include "QuorlAudio/models/ProgressReporter.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

class ANEMemoryOptimizer;

// The loaded offline Sortformer model with its two input arrays, which every window reuses. Copies share the
// model and the arrays, so one set (and its copies) runs one window at a time.
//
// Model interface: "mel", Float32 [1, 128, 3072], mel-bin-major; "mel_length", Int32 [1], the valid frames;
// "speaker_preds", Float32, frame-major from the window's first output frame, numSpeakers values per frame.
struct OfflineSortformerModels {
    // Allocates the input arrays; DiarizerError::memoryAllocationFailed when they cannot be had.
    OfflineSortformerModels(OfflineSortformerConfig config, std::shared_ptr<platform::ml::Model> main,
                            double compilationDuration);

    // Loads a compiled bundle, or compiles a ".mlpackage" (any path not ending in ".mlmodelc") first.
    static OfflineSortformerModels load(const OfflineSortformerConfig& config, const std::filesystem::path& modelPath,
                                        platform::ml::ComputeUnits computeUnits);
    // Downloads what is missing of the precision's bundle into the cache directory (the default models
    // folder when none is given) and loads it, as ModelHub::loadModels does.
    static OfflineSortformerModels loadFromHuggingFace(const OfflineSortformerConfig& config,
                                                       const std::optional<std::filesystem::path>& cacheDirectory,
                                                       platform::ml::ComputeUnits computeUnits,
                                                       const ProgressHandler& progressHandler = {});

    // Runs one window: the first min(validMelFrames, windowMelFrames) frames of the frame-major mel frames
    // (melFeatures values each). Returns "speaker_preds" as written; SortformerError::inferenceFailed when
    // the model gives no Float32 "speaker_preds".
    std::vector<float> runOffline(std::span<const float> melTimeMajor, int validMelFrames);

    std::shared_ptr<platform::ml::Model> mainModel;
    // Seconds spent obtaining the model, download and compilation included.
    double compilationDuration;
    OfflineSortformerConfig config;
    std::shared_ptr<ANEMemoryOptimizer> memoryOptimizer;
    std::shared_ptr<platform::ml::MultiArray> melArray;
    std::shared_ptr<platform::ml::MultiArray> melLengthArray;

private:
    void writeWindow(std::span<const float> melTimeMajor, int validMelFrames);
};

} // namespace quorl
