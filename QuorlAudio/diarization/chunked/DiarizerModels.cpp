#include "QuorlAudio/diarization/chunked/DiarizerModels.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DiarizerError.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesDiarization.hpp"
#include "platform/sys/Environment.hpp"

#include <chrono>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::ml::ModelConfiguration;

double secondsFrom(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The folder holding the given one: "/data/models/diarizer" and "/data/models/diarizer/" both give "/data/models".
fs::path modelsRootOf(const fs::path& directory) {
    return directory.has_filename() ? directory.parent_path() : directory.parent_path().parent_path();
}

std::shared_ptr<platform::ml::Model> modelNamed(const ModelHub::LoadedModels& models, std::string_view name) {
    const auto found = models.find(std::string(name));
    if (found == models.end() || !found->second) {
        throw DiarizerError::modelDownloadFailed();
    }
    return found->second;
}

} // namespace

DiarizerModels DiarizerModels::download(const std::optional<fs::path>& to,
                                        const std::optional<ModelConfiguration>& configuration,
                                        const ProgressHandler& progressHandler) {
    AppLogger("DiarizerModels").info("Checking for diarizer models...");
    const auto start = std::chrono::steady_clock::now();
    const fs::path directory = to ? *to : defaultModelsDirectory();
    const ComputeUnits computeUnits = (configuration ? *configuration : defaultConfiguration()).computeUnits;
    const auto& names = requiredModelNames();
    const auto models =
        ModelHub::shared().loadModels({.repo = Repo::diarizer,
                                       .modelNames = std::vector<std::string>(names.begin(), names.end()),
                                       .directory = modelsRootOf(directory),
                                       .computeUnits = computeUnits},
                                      progressHandler);
    auto segmentation = modelNamed(models, ModelNames::Diarizer::segmentationFile);
    auto embedding = modelNamed(models, ModelNames::Diarizer::embeddingFile);
    return {.segmentationModel = std::move(segmentation),
            .embeddingModel = std::move(embedding),
            .compilationDuration = secondsFrom(start)};
}

DiarizerModels DiarizerModels::load(const std::optional<fs::path>& from,
                                    const std::optional<ModelConfiguration>& configuration,
                                    const ProgressHandler& progressHandler) {
    return download(from, configuration, progressHandler);
}

DiarizerModels DiarizerModels::downloadIfNeeded(const std::optional<fs::path>& to,
                                                const std::optional<ModelConfiguration>& configuration,
                                                const ProgressHandler& progressHandler) {
    return download(to, configuration, progressHandler);
}

DiarizerModels DiarizerModels::load(const fs::path& localSegmentationModel, const fs::path& localEmbeddingModel,
                                    const std::optional<ModelConfiguration>& configuration) {
    AppLogger("DiarizerModels").info("Loading predownloaded models");
    const ModelConfiguration resolved = configuration ? *configuration : defaultConfiguration();
    const auto start = std::chrono::steady_clock::now();
    auto segmentation = platform::ml::Model::load(localSegmentationModel, resolved);
    auto embedding = platform::ml::Model::load(localEmbeddingModel, resolved);
    return {.segmentationModel = std::move(segmentation),
            .embeddingModel = std::move(embedding),
            .compilationDuration = secondsFrom(start)};
}

fs::path DiarizerModels::defaultModelsDirectory() {
    return MLModelConfigurationUtils::defaultModelsDirectory(Repo::diarizer);
}

ModelConfiguration DiarizerModels::defaultConfiguration() {
    // A build machine, told apart by "CI", runs on the neural engine and the CPU.
    const bool onBuildMachine = platform::sys::environmentValue("CI").has_value();
    return ModelConfiguration{.computeUnits = onBuildMachine ? ComputeUnits::cpuAndNeuralEngine : ComputeUnits::all,
                              .allowLowPrecisionAccumulationOnGPU = true,
                              .functionName = std::nullopt};
}

const std::set<std::string>& DiarizerModels::requiredModelNames() { return ModelNames::Diarizer::requiredModels(); }

} // namespace quorl
