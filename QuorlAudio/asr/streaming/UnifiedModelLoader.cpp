#include "QuorlAudio/asr/streaming/UnifiedModelLoader.hpp"

#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace files = ModelNames::ParakeetUnified;
using platform::ml::ComputeUnits;
using platform::ml::ModelConfiguration;

// A new configuration with these compute units and every other option at its default.
ModelConfiguration onlyUnits(ComputeUnits units) {
    return {.computeUnits = units, .allowLowPrecisionAccumulationOnGPU = false, .functionName = std::nullopt};
}

} // namespace

void UnifiedModelLoader::load(UnifiedModelSet& models, const std::optional<fs::path>& to,
                              const ModelConfiguration& configuration, const ProgressHandler& progressHandler) const {
    const fs::path modelsRoot = to ? *to : MLModelConfigurationUtils::defaultModelsDirectory();
    const fs::path setFolder = modelsRoot / folderName(Repo::parakeetUnified);
    // Only the encoder decides: a folder that has it but misses another file fails in loading, not here.
    if (fs::exists(setFolder / encoderFile)) {
        logger.info("Using cached " + label + " models at " + setFolder.string());
    } else {
        logger.info("Downloading " + label + " models to " + modelsRoot.string() + "...");
        ModelHub::shared().download({.repo = Repo::parakeetUnified,
                                     .to = modelsRoot,
                                     .variant = downloadVariant,
                                     .additionalModelNames = extraModelNames},
                                    progressHandler);
    }
    loadFrom(models, setFolder, configuration);
}

void UnifiedModelLoader::loadFrom(UnifiedModelSet& models, const fs::path& from,
                                  const ModelConfiguration& configuration) const {
    logger.info("Loading " + label + " CoreML models from " + from.string() + "...");
    // Single steps are too small to gain from an accelerator, so the decoder and the joint stay on the CPU.
    const ModelConfiguration cpuOnly = onlyUnits(ComputeUnits::cpuOnly);
    models.encoder = platform::ml::Model::load(from / encoderFile, encoderConfiguration(configuration));
    models.decoder = platform::ml::Model::load(from / files::decoderFile, cpuOnly);
    models.jointDecision = platform::ml::Model::load(from / files::jointDecisionFile, cpuOnly);
    models.tokenizer = std::make_shared<const Tokenizer>(from / files::vocab);
    models.rnntDecoder.emplace(models.decoder, models.jointDecision, config);
    models.melExtractor = UnifiedMelExtractor::make(config, melWindowSamples);
    logger.info(loadedMessage);
}

ModelConfiguration UnifiedModelLoader::encoderConfiguration(const ModelConfiguration& configuration) const {
    if (encoderPrecision != UnifiedEncoderPrecision::int8) {
        return configuration;
    }
    // The GPU has no fast path for 8-bit weights; the units asked for stay, less the GPU.
    switch (configuration.computeUnits) {
    case ComputeUnits::all: return onlyUnits(ComputeUnits::cpuAndNeuralEngine);
    case ComputeUnits::cpuAndGPU: return onlyUnits(ComputeUnits::cpuOnly);
    case ComputeUnits::cpuOnly:
    case ComputeUnits::cpuAndNeuralEngine: return configuration;
    }
    return configuration;
}

} // namespace quorl
