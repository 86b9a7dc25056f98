#include "QuorlAudio/diarization/offline/OfflineDiarizerModels.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/diarization/offline/PldaPsiFile.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesDiarization.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SecondsSince.hpp"

#include <chrono>
#include <string>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace Names = ModelNames::OfflineDiarizer;
using platform::ml::ComputeUnits;
using platform::ml::Model;

constexpr const char* variant = "offline";

const AppLogger& logger() {
    static const AppLogger instance("OfflineDiarizerModels");
    return instance;
}

struct NamedModel {
    std::string_view file;
    std::string_view shortName;
};

std::string unitsName(ComputeUnits units) {
    return platform::core::concatenated({".", platform::ml::description(units)});
}

// The models of one hub load, in the order named; the first the hub did not return is modelNotLoaded.
std::vector<std::shared_ptr<Model>> loadGroup(const std::vector<NamedModel>& group, const fs::path& directory,
                                              ComputeUnits units, const ProgressHandler& progressHandler) {
    std::vector<std::string> files;
    for (const auto& model : group) {
        files.emplace_back(model.file);
    }
    auto loaded = ModelHub::shared().loadModels({.repo = Repo::diarizer,
                                                 .modelNames = files,
                                                 .directory = directory,
                                                 .computeUnits = units,
                                                 .variant = variant},
                                                progressHandler);
    std::vector<std::shared_ptr<Model>> models;
    for (const auto& model : group) {
        const auto found = loaded.find(std::string(model.file));
        if (found == loaded.end() || !found->second) {
            throw OfflineDiarizationError::modelNotLoaded(std::string(model.shortName));
        }
        models.push_back(found->second);
    }
    return models;
}

} // namespace

fs::path OfflineDiarizerModels::defaultModelsDirectory() { return MLModelConfigurationUtils::defaultModelsDirectory(); }

OfflineDiarizerModels OfflineDiarizerModels::load(const std::optional<fs::path>& directory,
                                                  const std::optional<platform::ml::ModelConfiguration>& configuration,
                                                  const ProgressHandler& progressHandler) {
    const fs::path root = directory ? *directory : defaultModelsDirectory();
    logger().info("Loading offline diarization models from " + root.string());
    const auto start = std::chrono::steady_clock::now();
    const ComputeUnits units = configuration ? configuration->computeUnits : ComputeUnits::all;
    const auto main = loadGroup({{Names::segmentationFile, Names::segmentation},
                                 {Names::embeddingFile, Names::embedding},
                                 {Names::pldaRhoFile, Names::pldaRho}},
                                root, units, progressHandler);
    const auto fbank = loadGroup({{Names::fbankFile, Names::fbank}}, root, ComputeUnits::cpuOnly, progressHandler);
    auto psi = PldaPsiFile::load(root);
    const double duration = platform::core::secondsSince(start);
    logger().info(
        platform::core::concatenated({"Offline diarization models ready (compile: ", fixedDecimalText(duration, 3),
                                      "s, computeUnits: segmentation/embedding/plda=", unitsName(units),
                                      ", fbank=", unitsName(ComputeUnits::cpuOnly), ")"}));
    return OfflineDiarizerModels{.segmentationModel = main[0],
                                 .fbankModel = fbank[0],
                                 .embeddingModel = main[1],
                                 .pldaRhoModel = main[2],
                                 .pldaPsi = std::move(psi),
                                 .compilationDuration = duration};
}

} // namespace quorl
