#pragma once

#include "QuorlAudio/models/ProgressReporter.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace quorl {

// The chunked diarizer's two loaded models and the seconds it took to obtain them.
struct DiarizerModels {
    std::shared_ptr<platform::ml::Model> segmentationModel;
    std::shared_ptr<platform::ml::Model> embeddingModel;
    // From the start of the obtaining call to both models being in hand, downloads and retries included.
    double compilationDuration = 0;

    // Fetches what is missing of the diarizer repository and loads both models. The repository always lives in
    // "speaker-diarization" beside the last component of `to` (default: the default models directory), and only
    // the configuration's compute units reach the hub (default: defaultConfiguration()). Hub errors pass through;
    // a hub answer without either model is DiarizerError::modelDownloadFailed.
    static DiarizerModels download(const std::optional<std::filesystem::path>& to = std::nullopt,
                                   const std::optional<platform::ml::ModelConfiguration>& configuration = std::nullopt,
                                   const ProgressHandler& progressHandler = {});
    // The same as download from `from`.
    static DiarizerModels load(const std::optional<std::filesystem::path>& from = std::nullopt,
                               const std::optional<platform::ml::ModelConfiguration>& configuration = std::nullopt,
                               const ProgressHandler& progressHandler = {});
    static DiarizerModels
    downloadIfNeeded(const std::optional<std::filesystem::path>& to = std::nullopt,
                     const std::optional<platform::ml::ModelConfiguration>& configuration = std::nullopt,
                     const ProgressHandler& progressHandler = {});
    // Loads two compiled models from disk with the whole configuration, the segmentation model first; the first
    // load error passes through unchanged.
    static DiarizerModels load(const std::filesystem::path& localSegmentationModel,
                               const std::filesystem::path& localEmbeddingModel,
                               const std::optional<platform::ml::ModelConfiguration>& configuration = std::nullopt);

    // Application Support / "QuorlAudio" / "Models" / "speaker-diarization".
    static std::filesystem::path defaultModelsDirectory();
    // Low-precision accumulation allowed; the neural engine and CPU when "CI" is set (even empty), else all units.
    static platform::ml::ModelConfiguration defaultConfiguration();
    static const std::set<std::string>& requiredModelNames();
};

} // namespace quorl
