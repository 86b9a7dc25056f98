#include "QuorlAudio/asr/other/SenseVoiceModels.hpp"

#include "QuorlAudio/asr/other/ModelFolder.hpp"
#include "QuorlAudio/asr/other/ParaformerModels.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/sys/PathPresence.hpp"

#include <optional>
#include <string>
#include <system_error>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace names = ModelNames::SenseVoice;
using platform::core::concatenated;
using platform::ml::ComputeUnits;
using platform::ml::ModelConfiguration;

std::shared_ptr<platform::ml::Model> loadModel(std::string_view named, const fs::path& from,
                                               const ModelConfiguration& configuration) {
    return loadFolderModel("SenseVoice", named, from, configuration);
}

} // namespace

const AppLogger& SenseVoiceModels::logger() {
    static const AppLogger instance("SenseVoiceModels");
    return instance;
}

fs::path SenseVoiceModels::download(const DownloadRequest& request, const ProgressHandler& progressHandler) {
    const auto [precision, force] = request;
    const fs::path root = modelsRootDirectory();
    const fs::path folder = root / folderName(Repo::senseVoiceSmall);
    if (force) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    } else if (modelsExist(folder, precision)) {
        logger().info(concatenated({"SenseVoice models already present at: ", folder.string()}));
        return folder;
    }
    logger().info("Downloading SenseVoice models from HuggingFace...");
    ModelHub::shared().download(
        {.repo = Repo::senseVoiceSmall, .to = root, .variant = std::string(rawValue(precision))}, progressHandler);
    logger().info("Successfully downloaded SenseVoice models");
    return folder;
}

SenseVoiceModels SenseVoiceModels::load(const fs::path& from, SenseVoiceEncoderPrecision precision) {
    const ModelConfiguration cpuOnly{.computeUnits = ComputeUnits::cpuOnly, .functionName = std::nullopt};
    const ModelConfiguration encoderUnits{.computeUnits = encoderComputeUnits(precision), .functionName = std::nullopt};
    SenseVoiceModels models{
        .preprocessor = loadModel(names::preprocessor, from, cpuOnly),
        .encoder = loadModel(encoderBaseName(precision), from, encoderUnits),
        .vocabulary = ParaformerModels::loadVocabulary(from),
    };
    logger().info(concatenated({"Loaded SenseVoice (encoder: ", rawValue(precision),
                                ", vocab: ", std::to_string(models.vocabulary.size()), ")"}));
    return models;
}

SenseVoiceModels SenseVoiceModels::downloadAndLoad(SenseVoiceEncoderPrecision precision,
                                                   const ProgressHandler& progressHandler) {
    return load(download({.precision = precision}, progressHandler), precision);
}

bool SenseVoiceModels::modelsExist(const fs::path& at, SenseVoiceEncoderPrecision precision) {
    return compiledModelExists(at, names::preprocessor) && compiledModelExists(at, encoderBaseName(precision)) &&
           platform::sys::isPresent(at / std::string(names::vocabularyFile));
}

} // namespace quorl
