#include "QuorlAudio/asr/batch/AsrModels.hpp"

#include "QuorlAudio/asr/batch/AsrModelsError.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Error.hpp"

#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;
using platform::ml::ComputeUnits;
using platform::ml::Model;

// One model file to load and the processor units to load it for.
struct ModelSpec {
    std::string fileName;
    ComputeUnits computeUnits;
};

// What every single-file load of one `load` call shares.
struct SingleFileLoads {
    AsrModelVersion version;
    ParakeetEncoderPrecision encoderPrecision;
    fs::path root;
    std::optional<std::string> variant;
    const ProgressHandler& progressHandler;
    const AsrModels::ModelHubLoader& loadModels;

    // The model of `fileName` from the version's repository, or null when the hub's answer lacks it.
    std::shared_ptr<Model> load(const std::string& fileName, ComputeUnits computeUnits) const {
        return modelIn(loadModels(repo(version), {fileName}, root, computeUnits, variant, progressHandler), fileName);
    }

    static std::shared_ptr<Model> modelIn(const AsrModels::LoadedModels& models, const std::string& fileName) {
        const auto found = models.find(fileName);
        return found == models.end() ? nullptr : found->second;
    }
};

// The names of the log lines, including codes outside the four cases.
std::string computeUnitsName(ComputeUnits computeUnits) {
    const int code = platform::ml::rawValue(computeUnits);
    if (code < platform::ml::rawValue(ComputeUnits::cpuOnly) ||
        code > platform::ml::rawValue(ComputeUnits::cpuAndNeuralEngine)) {
        return concatenated({"unknown(", std::to_string(code), ")"});
    }
    return platform::ml::description(computeUnits);
}

// The split front end runs its preprocessor on the CPU alone; the fused one follows the configuration.
std::vector<ModelSpec> frontEndSpecs(const SingleFileLoads& loads, ComputeUnits configurationUnits,
                                     std::optional<ComputeUnits> encoderComputeUnits) {
    const std::string preprocessor = preprocessorFileName(loads.version);
    const auto encoder = encoderFileName(loads.version, loads.encoderPrecision);
    if (!encoder) {
        return {ModelSpec{.fileName = preprocessor, .computeUnits = configurationUnits}};
    }
    return {ModelSpec{.fileName = preprocessor, .computeUnits = ComputeUnits::cpuOnly},
            ModelSpec{.fileName = *encoder, .computeUnits = encoderComputeUnits.value_or(configurationUnits)}};
}

struct FrontEnd {
    std::shared_ptr<Model> preprocessor;
    // Null for the fused version.
    std::shared_ptr<Model> encoder;
};

FrontEnd loadFrontEnd(const SingleFileLoads& loads, ComputeUnits configurationUnits,
                      std::optional<ComputeUnits> encoderComputeUnits, const AppLogger& logger) {
    AsrModels::LoadedModels kept;
    for (const auto& spec : frontEndSpecs(loads, configurationUnits, encoderComputeUnits)) {
        if (auto model = loads.load(spec.fileName, spec.computeUnits)) {
            kept.insert_or_assign(spec.fileName, std::move(model));
            logger.info(
                concatenated({"Loaded ", spec.fileName, " with compute units: ", computeUnitsName(spec.computeUnits)}));
        }
    }
    FrontEnd frontEnd{.preprocessor = SingleFileLoads::modelIn(kept, preprocessorFileName(loads.version)),
                      .encoder = nullptr};
    if (!frontEnd.preprocessor) {
        throw AsrModelsError::loadingFailed("Failed to load preprocessor model");
    }
    if (const auto encoder = encoderFileName(loads.version, loads.encoderPrecision)) {
        frontEnd.encoder = SingleFileLoads::modelIn(kept, *encoder);
        if (!frontEnd.encoder) {
            throw AsrModelsError::loadingFailed("Failed to load encoder model (required for split frontend)");
        }
    }
    return frontEnd;
}

std::shared_ptr<Model> localCtcHead(const fs::path& folder, ComputeUnits computeUnits, const AppLogger& logger) {
    const fs::path path = folder / std::string(ModelNames::ASR::ctcHeadFile);
    std::error_code unreadable;
    if (!fs::exists(path, unreadable)) {
        return nullptr;
    }
    try {
        auto model = Model::load(path, platform::ml::ModelConfiguration{.computeUnits = computeUnits,
                                                                        .allowLowPrecisionAccumulationOnGPU = false,
                                                                        .functionName = std::nullopt});
        logger.info("[Beta] Loaded CTC head model from local directory");
        return model;
    } catch (...) {
        logger.warning("CTC head model found but failed to load: " + path.string());
        return nullptr;
    }
}

// The head lives in the CTC repository, which context biasing caches for itself: a hub without the head
// answers with a missing-file error, which the hub does not take for a damaged cache, so that folder stays.
// A cancellation still ends the load; only failures are forgiven.
std::shared_ptr<Model> hubCtcHead(const SingleFileLoads& loads, ComputeUnits computeUnits, const AppLogger& logger) {
    const std::string fileName(ModelNames::ASR::ctcHeadFile);
    try {
        auto model = SingleFileLoads::modelIn(loads.loadModels(Repo::parakeetCtc110m, {fileName}, loads.root,
                                                               computeUnits, std::nullopt, loads.progressHandler),
                                              fileName);
        if (model) {
            logger.info("[Beta] Loaded CTC head model from HF repo");
        }
        return model;
    } catch (...) {
        const auto failure = std::current_exception();
        if (RetryPolicy::isCancellation(failure)) {
            throw;
        }
        logger.warning("CTC head model not available: " + platform::core::describe(failure));
        return nullptr;
    }
}

std::shared_ptr<Model> loadCtcHead(const SingleFileLoads& loads, ComputeUnits computeUnits, const fs::path& from,
                                   const AppLogger& logger) {
    if (auto model = localCtcHead(modelFolder(loads.version, from), computeUnits, logger)) {
        return model;
    }
    return hubCtcHead(loads, computeUnits, logger);
}

std::string missingJointMessage(AsrModelVersion version) {
    const std::string joint = jointFileName(version);
    if (version != AsrModelVersion::v3) {
        return "Failed to load joint model " + joint;
    }
    return concatenated({"Failed to load joint model ", joint,
                         " (required for v3; delete the models directory to force a fresh download)"});
}

} // namespace

AsrModels AsrModels::load(const fs::path& from, const LoadOptions& options, const ProgressHandler& progressHandler,
                          const ModelHubLoader& loadModels) {
    const auto& [configuration, version, encoderPrecision, encoderComputeUnits] = options;
    logger().info("Loading ASR models from: " + from.string());
    const auto chosen = configuration.value_or(defaultConfiguration());
    const ComputeUnits units = chosen.computeUnits;
    const SingleFileLoads loads{.version = version,
                                .encoderPrecision = encoderPrecision,
                                .root = modelsRoot(from),
                                .variant = modelVariant(version, encoderPrecision),
                                .progressHandler = progressHandler,
                                .loadModels = loadModels};
    auto frontEnd = loadFrontEnd(loads, units, encoderComputeUnits, logger());
    auto decoder = loads.load(decoderFileName(version), units);
    if (!decoder) {
        throw AsrModelsError::loadingFailed("Failed to load decoder model");
    }
    auto joint = loads.load(jointFileName(version), units);
    if (!joint) {
        throw AsrModelsError::loadingFailed(missingJointMessage(version));
    }
    logger().info("Loaded " + jointFileName(version));
    auto head = version == AsrModelVersion::tdtCtc110m ? loadCtcHead(loads, units, from, logger()) : nullptr;
    auto vocabulary = loadVocabulary(from, version);
    logger().info("Successfully loaded all ASR models with optimized compute units");
    return AsrModels{.encoder = std::move(frontEnd.encoder),
                     .preprocessor = std::move(frontEnd.preprocessor),
                     .decoder = std::move(decoder),
                     .joint = std::move(joint),
                     .ctcHead = std::move(head),
                     .configuration = chosen,
                     .vocabulary = std::move(vocabulary),
                     .version = version};
}

AsrModels AsrModels::loadFromCache(const std::optional<platform::ml::ModelConfiguration>& configuration,
                                   AsrModelVersion version, std::optional<ComputeUnits> encoderComputeUnits,
                                   const ProgressHandler& progressHandler) {
    return load(defaultCacheDirectory(version),
                {.configuration = configuration, .version = version, .encoderComputeUnits = encoderComputeUnits},
                progressHandler);
}

} // namespace quorl
