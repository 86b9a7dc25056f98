#include "QuorlAudio/asr/biasing/CtcModels.hpp"

#include "QuorlAudio/asr/batch/AsrModelsError.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/ml/CompileModel.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/DecimalInteger.hpp"

#include <nlohmann/json.hpp>

#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;
using platform::ml::ComputeUnits;
using platform::ml::Model;
using platform::ml::ModelConfiguration;

const std::string melFile(ModelNames::CTC::melSpectrogramPath);
const std::string encoderFile(ModelNames::CTC::audioEncoderPath);
const std::string vocabularyFile(ModelNames::CTC::vocabularyPath);

} // namespace

const AppLogger& CtcModels::logger() {
    static const AppLogger instance("CtcModels");
    return instance;
}

ModelConfiguration CtcModels::defaultConfiguration() {
    return MLModelConfigurationUtils::defaultConfiguration(ComputeUnits::cpuAndNeuralEngine);
}

fs::path CtcModels::defaultCacheDirectory(CtcModelVariant variant) {
    return MLModelConfigurationUtils::defaultModelsDirectory(repo(variant));
}

fs::path CtcModels::setFolder(const fs::path& directory, CtcModelVariant variant) {
    return directory.parent_path() / folderName(repo(variant));
}

bool CtcModels::modelsExist(const fs::path& at) {
    for (const auto& name : ModelNames::CTC::requiredModels()) {
        if (!platform::sys::isPresent(at / name)) {
            return false;
        }
    }
    return platform::sys::isPresent(at / vocabularyFile);
}

CtcModels CtcModels::downloadAndLoad(const std::optional<fs::path>& to, CtcModelVariant variant) {
    return load(download({.to = to, .variant = variant}), variant);
}

fs::path CtcModels::download(const DownloadRequest& request) {
    const auto [to, variant, force] = request;
    const fs::path target = to ? *to : defaultCacheDirectory(variant);
    const fs::path folder = setFolder(target, variant);
    logger().info(concatenated({"Preparing CTC models (", displayName(variant), ") at: ", folder.string()}));
    if (force) {
        fs::remove_all(folder);
    } else if (modelsExist(folder)) {
        logger().info("CTC models already present at: " + folder.string());
        return folder;
    }
    // Each load is dropped: it serves to fetch the set and to prove that the model loads.
    for (const auto& name : {melFile, encoderFile}) {
        ModelHub::shared().loadModels({.repo = repo(variant),
                                       .modelNames = {name},
                                       .directory = folder.parent_path(),
                                       .computeUnits = ComputeUnits::cpuAndNeuralEngine});
    }
    logger().info(concatenated({"Successfully downloaded CTC models (", displayName(variant), ")"}));
    return folder;
}

CtcModels CtcModels::load(const fs::path& from, CtcModelVariant variant) {
    const fs::path folder = setFolder(from, variant);
    logger().info(concatenated({"Loading CTC models (", displayName(variant), ") from: ", folder.string()}));
    const ModelConfiguration configuration = defaultConfiguration();
    auto models = ModelHub::shared().loadModels({.repo = repo(variant),
                                                 .modelNames = {melFile, encoderFile},
                                                 .directory = folder.parent_path(),
                                                 .computeUnits = configuration.computeUnits});
    auto mel = models[melFile];
    auto encoder = models[encoderFile];
    if (!mel || !encoder) {
        throw AsrModelsError::loadingFailed("Failed to load CTC MelSpectrogram or AudioEncoder models");
    }
    auto vocabulary = loadVocabulary(folder);
    logger().info(concatenated({"Successfully loaded CTC models (", displayName(variant), ") and vocabulary"}));
    return CtcModels{.melSpectrogram = std::move(mel),
                     .encoder = std::move(encoder),
                     .configuration = configuration,
                     .vocabulary = std::move(vocabulary),
                     .variant = variant};
}

namespace {

// Loads the compiled model `name` of the folder, compiling it afresh when it does not load as it is.
std::shared_ptr<Model> loadDirectly(const fs::path& folder, std::string_view name,
                                    const ModelConfiguration& configuration, const AppLogger& logger) {
    const fs::path url = folder / concatenated({name, ".mlmodelc"});
    if (!platform::sys::isPresent(url)) {
        throw AsrModelsError::modelNotFound(std::string(name), url);
    }
    try {
        auto model = Model::load(url, configuration);
        logger.info(concatenated({"Loaded ", name, " directly from: ", url.string()}));
        return model;
    } catch (...) {
        logger.info("Direct load failed, attempting compilation...");
    }
    return Model::load(platform::ml::compileModel(url), configuration);
}

} // namespace

CtcModels CtcModels::loadDirect(const fs::path& from, CtcModelVariant variant) {
    logger().info("Loading CTC models directly from: " + from.string());
    const ModelConfiguration configuration = defaultConfiguration();
    auto mel = loadDirectly(from, ModelNames::CTC::melSpectrogram, configuration, logger());
    auto encoder = loadDirectly(from, ModelNames::CTC::audioEncoder, configuration, logger());
    logger().info("CTC models loaded with computeUnits: " + platform::ml::description(configuration.computeUnits));
    auto vocabulary = loadVocabulary(from);
    logger().info(concatenated(
        {"Successfully loaded CTC models directly (", std::to_string(vocabulary.size()), " vocab tokens)"}));
    return CtcModels{.melSpectrogram = std::move(mel),
                     .encoder = std::move(encoder),
                     .configuration = configuration,
                     .vocabulary = std::move(vocabulary),
                     .variant = variant};
}

// Keys that are not decimal integers are skipped silently; pieces that are not strings are skipped with a
// warning naming them. A vocabulary left without a single entry cannot give the spotter a blank id, so it
// fails the load instead of passing for a valid one.
CtcModels::Vocabulary CtcModels::loadVocabulary(const fs::path& from) {
    const fs::path path = from / vocabularyFile;
    if (!platform::sys::isPresent(path)) {
        throw AsrModelsError::modelNotFound(vocabularyFile, path);
    }
    const auto document = nlohmann::json::parse(platform::sys::wholeFile(path));
    Vocabulary vocabulary;
    if (document.is_object()) {
        for (const auto& [key, piece] : document.items()) {
            const auto id = platform::text::decimalInteger(key);
            if (id && piece.is_string()) {
                vocabulary.insert_or_assign(*id, piece.get<std::string>());
            } else if (id) {
                logger().warning(
                    concatenated({"Skipping CTC vocabulary entry '", key, "': its piece is not a string"}));
            }
        }
    }
    if (vocabulary.empty()) {
        throw AsrModelsError::loadingFailed("CTC vocabulary at " + path.string() + " holds no token pieces");
    }
    logger().info(concatenated(
        {"Loaded CTC vocabulary with ", std::to_string(vocabulary.size()), " tokens from ", path.string()}));
    return vocabulary;
}

} // namespace quorl
