#include "QuorlAudio/asr/batch/AsrModels.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/AssetDownloader.hpp"
#include "QuorlAudio/models/LoadedModelCache.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "platform/core/Concatenated.hpp"

#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;
using platform::ml::ComputeUnits;

// The vocabulary fetched alone: four attempts, back-offs from one second.
constexpr int vocabularyAttempts = 4;
constexpr double vocabularyMinBackoff = 1.0;

// One model file to fetch and the processor units its check load uses.
struct DownloadSpec {
    std::string fileName;
    ComputeUnits computeUnits;
};

std::vector<DownloadSpec> downloadList(AsrModelVersion version, ParakeetEncoderPrecision encoderPrecision) {
    const ComputeUnits defaultUnits = AsrModels::defaultConfiguration().computeUnits;
    const auto encoder = encoderFileName(version, encoderPrecision);
    std::vector<DownloadSpec> specs{
        {.fileName = preprocessorFileName(version), .computeUnits = encoder ? ComputeUnits::cpuOnly : defaultUnits}};
    if (encoder) {
        specs.push_back({.fileName = *encoder, .computeUnits = defaultUnits});
    }
    specs.push_back({.fileName = decoderFileName(version), .computeUnits = defaultUnits});
    specs.push_back({.fileName = jointFileName(version), .computeUnits = defaultUnits});
    return specs;
}

// The model download does not always bring the vocabulary along; it is then fetched alone, without a
// repository listing.
void ensureVocabularyDownloaded(AsrModelVersion version, const fs::path& targetDir, const ModelHub& hub,
                                const AppLogger& logger) {
    const std::string name = vocabularyFileName(version);
    const fs::path path = modelFolder(version, targetDir) / name;
    std::error_code unreadable;
    if (fs::exists(path, unreadable)) {
        return;
    }
    logger.info(concatenated({"Vocabulary ", name, " missing after model download; fetching directly"}));
    const auto url = ModelRegistry::resolveModel(remotePath(repo(version)), name);
    const auto bytes = hub.fetchFile(url, name, vocabularyAttempts, vocabularyMinBackoff);
    fs::create_directories(path.parent_path());
    AssetDownloader::defaultDataWriter()(bytes, path);
    logger.info(concatenated({"Downloaded vocabulary ", name, " (", std::to_string(bytes.size() / 1024), " KB)"}));
}

} // namespace

fs::path AsrModels::download(const DownloadRequest& request, const ProgressHandler& progressHandler) {
    return download(request, progressHandler, ModelHub::shared());
}

fs::path AsrModels::download(const DownloadRequest& request, const ProgressHandler& progressHandler,
                             const ModelHub& hub) {
    const auto [to, force, version, encoderPrecision] = request;
    // The default folder is looked up only when needed: a caller's own folder must not depend on a user
    // folder being locatable.
    const fs::path target = to ? *to : defaultCacheDirectory(version);
    logger().info("Downloading ASR models to: " + target.string());
    if (force) {
        // The files live in the model folder beside the target, which is not always the target itself: a
        // sibling of the model folder may hold anything and is left alone.
        const fs::path folder = modelFolder(version, target);
        fs::remove_all(folder);
        LoadedModelCache::shared().forgetModelsBelow(folder);
    } else if (modelsExist(target, version, encoderPrecision)) {
        logger().info("ASR models already present at: " + target.string());
        return target;
    }
    const auto loadModels = hubLoader(hub);
    const auto variant = modelVariant(version, encoderPrecision);
    for (const auto& spec : downloadList(version, encoderPrecision)) {
        loadModels(repo(version), {spec.fileName}, modelsRoot(target), spec.computeUnits, variant, progressHandler);
    }
    ensureVocabularyDownloaded(version, target, hub, logger());
    logger().info("Successfully downloaded ASR models");
    return target;
}

AsrModels AsrModels::downloadAndLoad(const std::optional<fs::path>& to, const LoadOptions& options,
                                     const ProgressHandler& progressHandler) {
    return downloadAndLoad(to, options, progressHandler, ModelHub::shared());
}

AsrModels AsrModels::downloadAndLoad(const std::optional<fs::path>& to, const LoadOptions& options,
                                     const ProgressHandler& progressHandler, const ModelHub& hub) {
    const fs::path target = download(
        {.to = to, .version = options.version, .encoderPrecision = options.encoderPrecision}, progressHandler, hub);
    return load(target, options, progressHandler, hubLoader(hub));
}

AsrModels AsrModels::loadWithAutoRecovery(const std::optional<fs::path>& from,
                                          const std::optional<platform::ml::ModelConfiguration>& configuration,
                                          std::optional<ComputeUnits> encoderComputeUnits,
                                          const ProgressHandler& progressHandler) {
    const fs::path folder = from ? *from : MLModelConfigurationUtils::defaultModelsDirectory(Repo::parakeetV3);
    return load(folder, {.configuration = configuration, .encoderComputeUnits = encoderComputeUnits}, progressHandler);
}

} // namespace quorl
