#include "QuorlAudio/tts/pockettts/PocketTtsModelLoader.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstantsLoader.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SecondsSince.hpp"
#include "platform/ml/StatefulModels.hpp"

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace quorl::PocketTtsModelLoader {
namespace {

namespace fs = std::filesystem;
namespace names = ModelNames::PocketTTS;
using platform::core::concatenated;
using platform::ml::ComputeUnits;
using platform::ml::Model;
using Kind = PocketTtsLayerKeys::ModelKind;

struct Bundle {
    std::string_view file;
    ComputeUnits computeUnits;
};

// The conditioner, the flow-LM step, the flow decoder and the Mimi decoder of a key-value cache placement.
std::array<Bundle, 4> cacheRoadBundles(const PocketTtsModelSelection& selection) {
    if (selection.placement == PocketTtsModelPlacement::ane) {
        return {{{names::condPrefillAneFile, ComputeUnits::all},
                 {names::flowlmStepAneFile, ComputeUnits::cpuAndNeuralEngine},
                 {names::flowDecoderFusedFile, ComputeUnits::all},
                 {names::mimiDecoderFile, ComputeUnits::cpuOnly}}};
    }
    return {{{names::condPrefillFile, ComputeUnits::all},
             {names::flowlmStepFile(selection.precision), ComputeUnits::all},
             {names::flowDecoderFusedFile, ComputeUnits::all},
             {names::mimiDecoderFile, ComputeUnits::cpuOnly}}};
}

// A fresh configuration with only the units, and the function of a multifunction bundle, set.
std::shared_ptr<Model> loadModel(const fs::path& bundle, ComputeUnits computeUnits,
                                 std::optional<std::string_view> function = std::nullopt) {
    platform::ml::ModelConfiguration configuration;
    configuration.computeUnits = computeUnits;
    if (function) {
        configuration.functionName = std::string(*function);
    }
    return Model::load(bundle, configuration);
}

std::shared_ptr<Model> loadBundle(const fs::path& languageRoot, const Bundle& bundle, const AppLogger& logger) {
    auto model = loadModel(languageRoot / bundle.file, bundle.computeUnits);
    logger.info(concatenated(
        {"Loaded ", bundle.file, " (computeUnits=", std::to_string(platform::ml::rawValue(bundle.computeUnits)), ")"}));
    return model;
}

std::string elapsedText(std::chrono::steady_clock::time_point start) {
    return fixedDecimalText(platform::core::secondsSince(start), 2) + "s";
}

void discoverLayerKeys(const PocketTtsModelSelection& selection, PocketTtsLoadedModels& models) {
    const auto layers = transformerLayers(selection.language);
    if (selection.placement == PocketTtsModelPlacement::ane) {
        models.condLayerKeys = PocketTtsLayerKeys::aneKeys(layers, Kind::cond);
        models.flowlmLayerKeys = PocketTtsLayerKeys::aneKeys(layers, Kind::flowlm);
        return;
    }
    models.condLayerKeys = PocketTtsLayerKeys::discover(models.conditioner->description(), Kind::cond, layers,
                                                        std::string(names::condPrefill));
    models.flowlmLayerKeys = PocketTtsLayerKeys::discover(models.flowlmStep->description(), Kind::flowlm, layers,
                                                          std::string(names::flowlmStep));
}

PocketTtsLoadedModels loadCacheRoad(const PocketTtsModelSelection& selection, const fs::path& languageRoot,
                                    const AppLogger& logger) {
    const auto start = std::chrono::steady_clock::now();
    const auto bundles = cacheRoadBundles(selection);
    PocketTtsLoadedModels models;
    models.conditioner = loadBundle(languageRoot, bundles[0], logger);
    models.flowlmStep = loadBundle(languageRoot, bundles[1], logger);
    models.flowDecoder = loadBundle(languageRoot, bundles[2], logger);
    models.mimiDecoder = loadBundle(languageRoot, bundles[3], logger);
    discoverLayerKeys(selection, models);
    models.mimiDecoderKeys = PocketTtsMimiKeys::discover(models.mimiDecoder->description());
    logger.info("All PocketTTS models loaded in " + elapsedText(start));
    return models;
}

PocketTtsLoadedModels loadStateRoad(const fs::path& languageRoot, const AppLogger& logger) {
    if (!platform::ml::statefulModelsSupported()) {
        throw PocketTTSError::processingFailed("PocketTTS `.aneState` placement requires macOS 15+/iOS 18+ (MLState "
                                               "and multifunction CoreML models).");
    }
    const auto start = std::chrono::steady_clock::now();
    const auto bundle = languageRoot / names::pocketStateFile;
    PocketTtsLoadedModels models;
    models.stateModels = PocketTtsStateModels{
        .prefill = loadModel(bundle, ComputeUnits::cpuAndNeuralEngine, names::StateFunction::prefill),
        .generate = loadModel(bundle, ComputeUnits::cpuAndNeuralEngine, names::StateFunction::generate)};
    logger.info(concatenated(
        {"Loaded ", names::pocketStateFile, " (functions: prefill, generate; computeUnits=cpuAndNeuralEngine)"}));
    models.mimiDecoder = loadModel(languageRoot / names::mimiDecoderFile, ComputeUnits::cpuOnly);
    models.mimiDecoderKeys = PocketTtsMimiKeys::discover(models.mimiDecoder->description());
    logger.info(concatenated({"Loaded ", names::mimiDecoderFile, " (computeUnits=cpuOnly)"}));
    logger.info("PocketTTS state-pipeline models loaded in " + elapsedText(start));
    return models;
}

} // namespace

PocketTtsLoadedModels load(const PocketTtsModelSelection& selection, const fs::path& languageRoot,
                           const AppLogger& logger) {
    auto models = selection.placement == PocketTtsModelPlacement::aneState
                      ? loadStateRoad(languageRoot, logger)
                      : loadCacheRoad(selection, languageRoot, logger);
    models.constants = std::make_shared<const PocketTtsConstantsBundle>(PocketTtsConstantsLoader::load(languageRoot));
    logger.info("PocketTTS constants loaded");
    return models;
}

std::shared_ptr<Model> loadMimiEncoder(const fs::path& bundle) { return loadModel(bundle, ComputeUnits::cpuAndGPU); }

} // namespace quorl::PocketTtsModelLoader
