#include "QuorlAudio/asr/other/SenseVoiceModels.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/other/ParaformerModels.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/ml/CompileModel.hpp"
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

constexpr std::string_view compiledExtension = ".mlmodelc";
constexpr std::string_view packageExtension = ".mlpackage";

fs::path entry(const fs::path& folder, std::string_view name, std::string_view extension) {
    return folder / concatenated({name, extension});
}

// Removes a compiled package's bundle when the load is over, so nothing is written into the model folder.
class CompiledBundle {
public:
    explicit CompiledBundle(fs::path path) : path_(std::move(path)) {}
    ~CompiledBundle() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    CompiledBundle(const CompiledBundle&) = delete;
    CompiledBundle& operator=(const CompiledBundle&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

} // namespace

const AppLogger& SenseVoiceModels::logger() {
    static const AppLogger instance("SenseVoiceModels");
    return instance;
}

fs::path SenseVoiceModels::download(SenseVoiceEncoderPrecision precision, bool force,
                                    const ProgressHandler& progressHandler) {
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
    ModelHub::download(Repo::senseVoiceSmall, root, std::string(rawValue(precision)), {}, progressHandler);
    logger().info("Successfully downloaded SenseVoice models");
    return folder;
}

SenseVoiceModels SenseVoiceModels::load(const fs::path& from, SenseVoiceEncoderPrecision precision) {
    const ModelConfiguration cpuOnly{.computeUnits = ComputeUnits::cpuOnly, .functionName = std::nullopt};
    const ModelConfiguration encoderUnits{.computeUnits = encoderComputeUnits(precision),
                                          .functionName = std::nullopt};
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
    return load(download(precision, false, progressHandler), precision);
}

bool SenseVoiceModels::modelsExist(const fs::path& at, SenseVoiceEncoderPrecision precision) {
    return platform::sys::isPresent(entry(at, names::preprocessor, compiledExtension)) &&
           platform::sys::isPresent(entry(at, encoderBaseName(precision), compiledExtension)) &&
           platform::sys::isPresent(at / std::string(names::vocabularyFile));
}

std::shared_ptr<platform::ml::Model> SenseVoiceModels::loadModel(std::string_view named, const fs::path& from,
                                                                 const ModelConfiguration& configuration) {
    const fs::path compiled = entry(from, named, compiledExtension);
    if (platform::sys::isPresent(compiled)) {
        return platform::ml::Model::load(compiled, configuration);
    }
    const fs::path package = entry(from, named, packageExtension);
    if (platform::sys::isPresent(package)) {
        const CompiledBundle bundle(platform::ml::compileModel(package));
        return platform::ml::Model::load(bundle.path(), configuration);
    }
    throw ASRError::processingFailed(concatenated({"SenseVoice model not found: ", named}));
}

fs::path SenseVoiceModels::modelsRootDirectory() {
    try {
        return MLModelConfigurationUtils::defaultModelsDirectory();
    } catch (const platform::core::SystemError&) {
        return fs::temp_directory_path() / "QuorlAudio" / "Models";
    }
}

} // namespace quorl
