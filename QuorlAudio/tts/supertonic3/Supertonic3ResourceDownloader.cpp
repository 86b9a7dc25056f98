#include "QuorlAudio/tts/supertonic3/Supertonic3ResourceDownloader.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"
#include "QuorlAudio/tts/frontend/TtsCacheDirectory.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/PathPresence.hpp"

#include <exception>
#include <functional>

namespace quorl::Supertonic3ResourceDownloader {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;

constexpr const char* voiceStylesFolder = "voice_styles";

const AppLogger& logger() {
    static const AppLogger instance("Supertonic3ResourceDownloader");
    return instance;
}

fs::path cacheRoot(const std::optional<fs::path>& directory) {
    return directory ? *directory : TtsCacheDirectory::ensureModels();
}

fs::path repositoryDirectory(const fs::path& root) { return root / folderName(Repo::supertonic3); }

// Anything standing at a path counts, a folder included.
bool allPresent(const fs::path& repoDirectory, const std::optional<std::string>& veVariant) {
    for (const auto& path : ModelNames::Supertonic3::requiredFiles(veVariant)) {
        if (!platform::sys::isPresent(repoDirectory / path)) {
            return false;
        }
    }
    return true;
}

// Runs one hub download; any failure but cancellation becomes downloadFailed with the prefix and the cause.
void downloading(const std::string& prefix, const std::function<void()>& download) {
    try {
        download();
    } catch (const platform::core::CancellationError&) {
        throw;
    } catch (const std::exception&) {
        throw Supertonic3Error::downloadFailed(prefix + platform::core::describe(std::current_exception()));
    }
}

} // namespace

fs::path ensureModels(const std::optional<fs::path>& directory, const std::optional<std::string>& veVariant,
                      const ProgressHandler& progressHandler) {
    const fs::path root = cacheRoot(directory);
    const fs::path repoDirectory = repositoryDirectory(root);
    if (allPresent(repoDirectory, veVariant)) {
        logger().info("Supertonic-3 assets found in cache at " + repoDirectory.string());
        return repoDirectory;
    }
    logger().info("Downloading Supertonic-3 CoreML assets from HuggingFace\u2026");
    downloading("", [&] {
        ModelHub::shared().download({.repo = Repo::supertonic3, .to = root, .variant = veVariant}, progressHandler);
    });
    return repoDirectory;
}

fs::path downloadVoiceStyle(Supertonic3Voice voice, const std::optional<fs::path>& directory,
                            const ProgressHandler& progressHandler) {
    const fs::path repoDirectory = repositoryDirectory(cacheRoot(directory));
    const std::string raw(rawValue(voice));
    const std::string wanted = fileName(voice);
    const fs::path file = repoDirectory / wanted;
    if (platform::sys::isPresent(file)) {
        logger().info(concatenated({"Supertonic-3 voice ", raw, " found in cache"}));
        return file;
    }
    logger().info(concatenated({"Downloading Supertonic-3 voice ", raw, " from HuggingFace\u2026"}));
    downloading(concatenated({"voice ", raw, ": "}), [&] {
        ModelHub::shared().download(Repo::supertonic3, voiceStylesFolder, repoDirectory, progressHandler,
                                    [&](const std::string& path) { return path != wanted; });
    });
    if (!platform::sys::isPresent(file)) {
        throw Supertonic3Error::downloadFailed(concatenated({"voice ", raw, " missing after download"}));
    }
    return file;
}

Supertonic3VoiceStyle loadVoiceStyle(Supertonic3Voice voice, const std::optional<fs::path>& directory,
                                     const ProgressHandler& progressHandler) {
    return Supertonic3VoiceStyle::load(downloadVoiceStyle(voice, directory, progressHandler));
}

} // namespace quorl::Supertonic3ResourceDownloader
