#pragma once

#include "QuorlAudio/models/ProgressReporter.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace quorl {

// Everything the offline diarizer needs from disk: its four models and the PLDA psi vector. A caller may
// assemble one from models it loaded itself.
struct OfflineDiarizerModels {
    std::shared_ptr<platform::ml::Model> segmentationModel;
    std::shared_ptr<platform::ml::Model> fbankModel;
    std::shared_ptr<platform::ml::Model> embeddingModel;
    std::shared_ptr<platform::ml::Model> pldaRhoModel;
    std::vector<double> pldaPsi;
    // Seconds the whole load took: downloads, compilation, loading and reading psi.
    double compilationDuration = 0;

    // The root of the model cache itself, not the diarizer's folder inside it.
    static std::filesystem::path defaultModelsDirectory();

    // Fetches what is missing of the diarizer repository's offline files under `directory` (the models root
    // when absent) through the model hub and loads them: segmentation, embedding and PLDA with the
    // configuration's compute units (all when absent; nothing else of the configuration is read), then the
    // filterbank always on the CPU only, then psi from the first of PldaPsiFile's candidates under `directory`.
    // Throws the hub's errors, OfflineDiarizationError::modelNotLoaded naming the first model the hub did not
    // return, and PldaPsiFile's errors.
    static OfflineDiarizerModels
    load(const std::optional<std::filesystem::path>& directory = std::nullopt,
         const std::optional<platform::ml::ModelConfiguration>& configuration = std::nullopt,
         const ProgressHandler& progressHandler = {});
};

} // namespace quorl
