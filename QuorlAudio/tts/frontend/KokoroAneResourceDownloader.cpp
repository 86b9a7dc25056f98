#include "QuorlAudio/tts/frontend/KokoroAneResourceDownloader.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/AssetDownloader.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/frontend/TtsCacheDirectory.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/text/WordCharacters.hpp"

#include <array>
#include <exception>
#include <set>
#include <string_view>
#include <system_error>

namespace quorl::KokoroAneResourceDownloader {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;

constexpr std::string_view kokoroFolder = "kokoro";
constexpr std::string_view lexiconFile = "us_lexicon_cache.json";

// One file fetched on its own: where it lands, where it comes from, and its name in messages.
struct SingleAsset {
    std::string_view name;
    std::string_view remoteName;
};

using KokoroAneConstants::g2pPinyinPhrasesFile;
using KokoroAneConstants::g2pPinyinPhrasesRemoteFile;
using KokoroAneConstants::g2pPinyinSingleFile;
using KokoroAneConstants::g2pPinyinSingleRemoteFile;
using KokoroAneConstants::g2pRemoteRepo;
using KokoroAneConstants::g2pRemoteSubdir;
using KokoroAneConstants::g2pSubdir;
using KokoroAneConstants::g2pwModelBundle;
using KokoroAneConstants::g2pwPolyphonicCharsFile;
using KokoroAneConstants::g2pwPolyphonicCharsRemoteFile;
using KokoroAneConstants::g2pwRemoteSubdir;
using KokoroAneConstants::g2pwSubdir;
using KokoroAneConstants::g2pwVocabFile;
using KokoroAneConstants::g2pwVocabRemoteFile;
using KokoroAneConstants::jiebaHmmEmitFile;
using KokoroAneConstants::jiebaHmmEmitRemoteFile;
using KokoroAneConstants::jiebaHmmStartFile;
using KokoroAneConstants::jiebaHmmStartRemoteFile;
using KokoroAneConstants::jiebaHmmTransFile;
using KokoroAneConstants::jiebaHmmTransRemoteFile;

constexpr std::array<SingleAsset, 2> mandarinG2PAssets{{
    {g2pPinyinPhrasesFile, g2pPinyinPhrasesRemoteFile},
    {g2pPinyinSingleFile, g2pPinyinSingleRemoteFile},
}};
constexpr std::array<SingleAsset, 3> jiebaHmmAssets{{
    {jiebaHmmStartFile, jiebaHmmStartRemoteFile},
    {jiebaHmmTransFile, jiebaHmmTransRemoteFile},
    {jiebaHmmEmitFile, jiebaHmmEmitRemoteFile},
}};
constexpr std::array<SingleAsset, 2> g2pwTextAssets{{
    {g2pwVocabFile, g2pwVocabRemoteFile},
    {g2pwPolyphonicCharsFile, g2pwPolyphonicCharsRemoteFile},
}};

const AppLogger& logger() {
    static const AppLogger instance("KokoroAneResourceDownloader");
    return instance;
}

fs::path baseDirectory(const std::optional<fs::path>& directory) {
    return directory ? *directory : TtsCacheDirectory::ensure() / modelsSubdirectory;
}

bool allPresent(const fs::path& folder, const std::set<std::string>& names) {
    for (const auto& name : names) {
        if (!platform::sys::isPresent(folder / name)) {
            return false;
        }
    }
    return true;
}

void createFolder(const fs::path& folder) {
    if (!platform::sys::isPresent(folder)) {
        fs::create_directories(folder);
    }
}

std::string describeCurrentError() { return platform::core::describe(std::current_exception()); }

// Fetches one file into memory and writes it in place in one step; returns its size in bytes.
std::size_t fetch(std::string_view repository, const std::string& remotePath, const fs::path& destination,
                  const std::string& description) {
    const auto url = ModelRegistry::resolveModel(repository, remotePath);
    const auto bytes = AssetDownloader::fetchData(url, description, ModelHub::shared().session(), logger());
    AssetDownloader::defaultDataWriter()(bytes, destination);
    return bytes.size();
}

std::string kilobytes(std::size_t bytes) { return std::to_string(bytes / 1024); }

void fetchAndReport(const SingleAsset& asset, std::string_view remoteFolder, const fs::path& folder,
                    std::string_view descriptionPrefix) {
    const std::string name(asset.name);
    const auto size = fetch(g2pRemoteRepo, concatenated({remoteFolder, "/", asset.remoteName}), folder / name,
                            concatenated({descriptionPrefix, name}));
    logger().info(concatenated({"Cached ", name, " (", kilobytes(size), " KB)"}));
}

} // namespace

fs::path ensureModels(KokoroAneVariant variant, const std::optional<fs::path>& directory,
                      const ProgressHandler& progressHandler) {
    const auto base = baseDirectory(directory);
    const Repo repository = repo(variant);
    const auto repoDirectory = base / folderName(repository);
    const std::string logName(rawValue(variant));
    if (allPresent(repoDirectory, ModelNames::getRequiredModelNames(repository))) {
        logger().info(concatenated({"Kokoro models (", logName, ") found in cache at ", repoDirectory.string()}));
        return repoDirectory;
    }
    logger().info(concatenated({"Downloading Kokoro models (", logName, ") from HuggingFace..."}));
    ModelHub::shared().download({.repo = repository, .to = base}, progressHandler);
    return repoDirectory;
}

void ensureG2PAssets(const std::optional<fs::path>& directory, const ProgressHandler& progressHandler) {
    const auto base = baseDirectory(directory);
    if (allPresent(base / kokoroFolder, ModelNames::G2P::requiredModels())) {
        return;
    }
    logger().info("Downloading shared kokoro G2P assets from HuggingFace...");
    ModelHub::shared().download({.repo = Repo::kokoro, .to = base, .variant = "g2p-only"}, progressHandler);
}

std::optional<fs::path> ensureEnglishLexicon(const std::optional<fs::path>& directory) {
    try {
        const auto folder = baseDirectory(directory) / kokoroFolder;
        fs::create_directories(folder);
        const auto file = folder / lexiconFile;
        if (platform::sys::isPresent(file)) {
            return file;
        }
        const AssetDownloader::Descriptor descriptor{
            .description = std::string(lexiconFile),
            .remoteURL = ModelRegistry::resolveModel(g2pRemoteRepo, lexiconFile),
            .destinationURL = file,
            .skipIfExists = true,
            .transferMode = AssetDownloader::TransferMode::data(AssetDownloader::defaultDataWriter()),
        };
        return AssetDownloader::ensure(descriptor, ModelHub::shared().session(), logger());
    } catch (const std::exception&) {
        logger().warning(concatenated(
            {"English lexicon cache unavailable (", describeCurrentError(), ") \u2014 falling back to BART G2P only"}));
        return std::nullopt;
    }
}

fs::path ensureVoicePack(const std::string& voice, const fs::path& repoDirectory, KokoroAneVariant variant) {
    const std::string name = platform::text::keepingWordCharacters(voice);
    if (name.empty()) {
        throw KokoroAneError::downloadFailed("Invalid voice name: " + voice);
    }
    const std::string relativePath = useVoicesSubdir(variant) ? concatenated({"voices/", name, ".bin"}) : name + ".bin";
    const auto local = repoDirectory / relativePath;
    if (platform::sys::isPresent(local)) {
        return local;
    }
    createFolder(local.parent_path());
    logger().info(concatenated({"Downloading voice pack '", name, "' (", rawValue(variant), ") from HuggingFace..."}));
    const Repo repository = repo(variant);
    const auto folder = subPath(repository);
    const std::string remote = folder ? concatenated({*folder, "/", relativePath}) : relativePath;
    const auto size = fetch(remotePath(repository), remote, local, name + " voice pack");
    logger().info(concatenated({"Downloaded voice pack '", name, "' (", kilobytes(size), " KB)"}));
    return local;
}

fs::path ensureMandarinG2P(const fs::path& repoDirectory, const ProgressHandler& /*progressHandler*/) {
    const auto folder = repoDirectory / g2pSubdir;
    createFolder(folder);
    for (const auto& asset : mandarinG2PAssets) {
        if (platform::sys::isPresent(folder / asset.name)) {
            continue;
        }
        logger().info(concatenated(
            {"Downloading Mandarin G2P asset '", asset.name, "' from ", g2pRemoteRepo, "/", g2pRemoteSubdir, "/..."}));
        fetchAndReport(asset, g2pRemoteSubdir, folder, "Mandarin G2P asset ");
    }
    return folder;
}

std::optional<fs::path> ensureMandarinJiebaHmm(const fs::path& repoDirectory) {
    const auto folder = repoDirectory / g2pSubdir;
    try {
        createFolder(folder);
    } catch (const std::exception&) {
        logger().warning("Could not create jieba HMM cache dir: " + describeCurrentError());
        return std::nullopt;
    }
    for (const auto& asset : jiebaHmmAssets) {
        if (platform::sys::isPresent(folder / asset.name)) {
            continue;
        }
        try {
            logger().info(concatenated(
                {"Downloading jieba HMM asset '", asset.name, "' from ", g2pRemoteRepo, "/", g2pRemoteSubdir, "/..."}));
            fetchAndReport(asset, g2pRemoteSubdir, folder, "jieba HMM asset ");
        } catch (const std::exception&) {
            logger().warning(concatenated({"Jieba HMM asset '", asset.name, "' unavailable (", describeCurrentError(),
                                           "); HMM segmentation disabled."}));
            return std::nullopt;
        }
    }
    return folder;
}

std::optional<fs::path> ensureMandarinG2pw(const fs::path& repoDirectory) {
    const auto folder = repoDirectory / g2pwSubdir;
    try {
        createFolder(folder);
    } catch (const std::exception&) {
        logger().info(
            concatenated({"g2pW assets unavailable (could not create cache dir: ", describeCurrentError(), ")"}));
        return std::nullopt;
    }
    for (const auto& asset : g2pwTextAssets) {
        if (platform::sys::isPresent(folder / asset.name)) {
            continue;
        }
        try {
            fetchAndReport(asset, g2pwRemoteSubdir, folder, "Mandarin g2pW asset ");
        } catch (const std::exception&) {
            logger().info(concatenated({"g2pW asset '", asset.name, "' unavailable (", describeCurrentError(),
                                        ") \u2014 Mandarin G2P will run dict-only"}));
            return std::nullopt;
        }
    }
    const auto bundle = folder / g2pwModelBundle;
    if (!platform::sys::isPresent(bundle)) {
        logger().info(concatenated(
            {"g2pW CoreML bundle missing at ", bundle.string(), " \u2014 Mandarin G2P will run dict-only"}));
        return std::nullopt;
    }
    return folder;
}

} // namespace quorl::KokoroAneResourceDownloader
