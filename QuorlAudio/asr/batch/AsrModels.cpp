#include "QuorlAudio/asr/batch/AsrModels.hpp"

#include "QuorlAudio/asr/batch/AsrModelsError.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/foundation/TokenVocabulary.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/Environment.hpp"
#include "platform/sys/WholeFile.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;
using Vocabulary = std::unordered_map<int, std::string>;

} // namespace

const AppLogger& AsrModels::logger() {
    static const AppLogger instance("AsrModels");
    return instance;
}

AsrModels::ModelHubLoader AsrModels::hubLoader() { return hubLoader(ModelHub::shared()); }

AsrModels::ModelHubLoader AsrModels::hubLoader(const ModelHub& hub) {
    return [&hub](Repo repo, const std::vector<std::string>& modelNames, const fs::path& directory,
                  platform::ml::ComputeUnits computeUnits, const std::optional<std::string>& variant,
                  const ProgressHandler& progressHandler) {
        return hub.loadModels({.repo = repo,
                               .modelNames = modelNames,
                               .directory = directory,
                               .computeUnits = computeUnits,
                               .variant = variant},
                              progressHandler);
    };
}

const std::set<std::string>& AsrModels::requiredModelNames() { return ModelNames::ASR::requiredModels(); }

platform::ml::ModelConfiguration AsrModels::defaultConfiguration() {
    return MLModelConfigurationUtils::defaultConfiguration(platform::ml::ComputeUnits::cpuAndNeuralEngine);
}

platform::ml::ModelConfiguration AsrModels::optimizedConfiguration(bool enableFP16) {
    // Build machines have no neural engine to offer, so there the CPU alone is the honest choice.
    const bool onBuildMachine = platform::sys::environmentValue("CI").has_value();
    return platform::ml::ModelConfiguration{
        .computeUnits =
            onBuildMachine ? platform::ml::ComputeUnits::cpuOnly : platform::ml::ComputeUnits::cpuAndNeuralEngine,
        .allowLowPrecisionAccumulationOnGPU = enableFP16,
        .functionName = std::nullopt,
    };
}

platform::ml::PredictionOptions AsrModels::optimizedPredictionOptions() {
    return platform::ml::PredictionOptions{.outputBackings = {}};
}

fs::path AsrModels::defaultCacheDirectory(AsrModelVersion version) {
    return MLModelConfigurationUtils::defaultModelsDirectory(repo(version));
}

Vocabulary AsrModels::loadVocabulary(const fs::path& from, AsrModelVersion version) {
    const fs::path path = modelFolder(version, from) / vocabularyFileName(version);
    std::error_code unreadable;
    if (!fs::exists(path, unreadable)) {
        logger().warning(concatenated({"Vocabulary file not found at ", path.string(),
                                       ". Please ensure the vocab file is downloaded with the models."}));
        throw AsrModelsError::modelNotFound(vocabularyFileName(version), path);
    }
    const auto parsingFailed = [&path](std::string_view reason) {
        logger().error(concatenated({"Failed to load or parse vocabulary file at ", path.string(), ": ", reason}));
        return AsrModelsError::loadingFailed("Vocabulary parsing failed");
    };
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(platform::sys::wholeFile(path));
    } catch (const std::exception& failure) {
        throw parsingFailed(failure.what());
    }
    if (!document.is_array() && !document.is_object()) {
        throw parsingFailed("The top level of the document is neither an array nor an object");
    }
    auto vocabulary = tokenVocabulary(document);
    if (!vocabulary) {
        throw AsrModelsError::loadingFailed("Vocabulary file has unexpected format");
    }
    logger().info(
        concatenated({"Loaded vocabulary with ", std::to_string(vocabulary->size()), " tokens from ", path.string()}));
    return std::move(*vocabulary);
}

} // namespace quorl
