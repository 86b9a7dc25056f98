#include "QuorlAudio/tts/styletts2/StyleTTS2ResourceDownloader.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/AssetDownloader.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "QuorlAudio/tts/frontend/TtsCacheDirectory.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/PathPresence.hpp"

#include <exception>
#include <set>
#include <string>
#include <vector>

namespace quorl::StyleTTS2ResourceDownloader {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;

constexpr const char* lexiconFile = "us_lexicon_cache.json";

const AppLogger& logger() {
    static const AppLogger instance("StyleTTS2ResourceDownloader");
    return instance;
}

fs::path cacheRoot(const std::optional<fs::path>& directory) {
    return directory ? *directory : TtsCacheDirectory::ensureModels();
}

std::vector<std::string> missingNames(const fs::path& folder, const std::set<std::string>& names) {
    std::vector<std::string> missing;
    for (const auto& name : names) {
        if (!platform::sys::isPresent(folder / name)) {
            missing.push_back(name);
        }
    }
    return missing;
}

std::string describeCurrentError() { return platform::core::describe(std::current_exception()); }

// Runs a fetch and turns whatever it throws, cancellation included, into downloadFailed with the prefix.
template <class Fetch> void wrappingFailures(const std::string& prefix, Fetch fetch) {
    try {
        fetch();
    } catch (const std::exception&) {
        throw StyleTTS2Error::downloadFailed(prefix + describeCurrentError());
    }
}

} // namespace

fs::path ensureDefaultModels(const std::optional<fs::path>& directory, const ProgressHandler& progressHandler) {
    const auto root = cacheRoot(directory);
    const auto folder = root / folderName(Repo::styletts2);
    if (missingNames(folder, ModelNames::StyleTTS2::requiredModels()).empty()) {
        logger().info("StyleTTS2 default models found in cache at " + folder.string());
        return folder;
    }
    logger().info("Downloading StyleTTS2 LibriTTS models (iteration_3) from HuggingFace\u2026");
    wrappingFailures("", [&] { ModelHub::shared().download({.repo = Repo::styletts2, .to = root}, progressHandler); });
    return folder;
}

void ensureBucket(int forT, const fs::path& folder) {
    const auto names = ModelNames::StyleTTS2::bucketModels(forT);
    if (names.empty()) {
        throw StyleTTS2Error::noBucketAvailable(forT);
    }
    const auto missing = missingNames(folder, names);
    if (missing.empty()) {
        return;
    }
    const auto size = std::to_string(forT);
    logger().info(
        concatenated({"Fetching StyleTTS2 bucket T=", size, " (", std::to_string(missing.size()), " bundles)"}));
    for (const auto& name : missing) {
        wrappingFailures(concatenated({"bucket T=", size, " bundle ", name, " \u2014 "}),
                         [&] { ModelHub::shared().download(Repo::styletts2, name, folder); });
    }
}

fs::path ensureLexiconCache() {
    const auto folder = TtsCacheDirectory::ensureModels() / folderName(Repo::kokoro);
    fs::create_directories(folder);
    if (platform::sys::isPresent(folder / lexiconFile)) {
        return folder;
    }
    wrappingFailures(concatenated({lexiconFile, ": "}), [&] {
        const AssetDownloader::Descriptor descriptor{
            .description = lexiconFile,
            .remoteURL = ModelRegistry::resolveModel(remotePath(Repo::kokoro), lexiconFile),
            .destinationURL = folder / lexiconFile,
            .skipIfExists = true,
            .transferMode = AssetDownloader::TransferMode::data(AssetDownloader::defaultDataWriter()),
        };
        AssetDownloader::ensure(descriptor, HFClient::session(), logger());
    });
    return folder;
}

void ensureG2PAssets(const std::optional<fs::path>& directory, const ProgressHandler& progressHandler) {
    const auto root = cacheRoot(directory);
    if (missingNames(root / folderName(Repo::kokoro), ModelNames::G2P::requiredModels()).empty()) {
        return;
    }
    logger().info("Downloading kokoro G2P assets (g2p-only variant) from HuggingFace\u2026");
    wrappingFailures("kokoro G2P assets: ", [&] {
        ModelHub::shared().download({.repo = Repo::kokoro, .to = root, .variant = "g2p-only"}, progressHandler);
    });
}

} // namespace quorl::StyleTTS2ResourceDownloader
