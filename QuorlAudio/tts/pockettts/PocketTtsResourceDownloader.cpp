#include "QuorlAudio/tts/pockettts/PocketTtsResourceDownloader.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/AssetDownloader.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "QuorlAudio/tts/frontend/TtsCacheDirectory.hpp"
#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstantsLoader.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/AtomicWrite.hpp"
#include "platform/sys/FileRemoval.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/text/WordCharacters.hpp"

#include <cstdint>
#include <exception>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace quorl::PocketTtsResourceDownloader {
namespace {

namespace fs = std::filesystem;
namespace names = ModelNames::PocketTTS;
using platform::core::concatenated;

constexpr std::string_view repositoryFolderName = "pocket-tts";
constexpr std::string_view bosBeforeVoiceFile = "bos_before_voice.bin";
// The 1024 floats the constants loader accepts; any other body is an error page or a cut transfer.
constexpr std::size_t bosBeforeVoiceBytes = 1024 * sizeof(float);

const AppLogger& logger() {
    static const AppLogger instance("PocketTtsResourceDownloader");
    return instance;
}

// The hub: every request of this downloader goes through these three.
void downloadFolder(const std::string& subdirectory, const fs::path& repositoryFolder,
                    const ProgressHandler& progressHandler, const ModelHub::SkipRule& shouldSkip) {
    ModelHub::shared().download(Repo::pocketTts, subdirectory, repositoryFolder, progressHandler, shouldSkip);
}

platform::net::Url hubURL(const std::string& repositoryPath) {
    return ModelRegistry::resolveModel(remotePath(Repo::pocketTts), repositoryPath);
}

std::vector<std::uint8_t> fetchFile(const platform::net::Url& url, const std::string& description) {
    return AssetDownloader::fetchData(url, description, HFClient::session(), logger());
}

fs::path repositoryFolder(const std::optional<fs::path>& directory) {
    const auto models =
        directory ? *directory / PocketTtsConstants::defaultModelsSubdirectory : TtsCacheDirectory::ensureModels();
    return models / repositoryFolderName;
}

std::string constantsPath(PocketTtsLanguage language, std::string_view file) {
    return concatenated({repoSubdirectory(language), "/", names::constantsBinDir, "/", file});
}

bool allPresent(const fs::path& folder, const std::set<std::string>& entries) {
    for (const auto& entry : entries) {
        if (!platform::sys::isPresent(folder / entry)) {
            return false;
        }
    }
    return true;
}

bool hasComponent(std::string_view path, std::string_view component) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (path.substr(start, end - start) == component) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// Folder metadata, reference audio, uncompiled packages and the raw "constants" export are never fetched.
bool shouldSkipAsset(const std::string& path) {
    const std::string_view last = std::string_view(path).substr(path.rfind('/') + 1);
    return last == ".DS_Store" || last == "verify.wav" || last.ends_with(".mlpackage") ||
           path.find(".mlpackage/") != std::string::npos || hasComponent(path, "constants");
}

void removeUnusedFlowlmVariant(const fs::path& languageRoot, PocketTtsPrecision keeping) {
    const auto other = keeping == PocketTtsPrecision::int8 ? PocketTtsPrecision::fp16 : PocketTtsPrecision::int8;
    const std::string name(names::flowlmStepFile(other));
    if (!platform::sys::isPresent(languageRoot / name)) {
        return;
    }
    std::error_code error;
    fs::remove_all(languageRoot / name, error);
    if (error) {
        logger().warning(concatenated({"Failed to remove unused PocketTTS variant ", name, ": ", error.message()}));
    } else {
        logger().info("Removed unused PocketTTS variant on disk: " + name);
    }
}

void ensureBosBeforeVoice(PocketTtsLanguage language, const fs::path& languageRoot) {
    const auto target = languageRoot / names::constantsBinDir / bosBeforeVoiceFile;
    if (platform::sys::isPresent(target)) {
        return;
    }
    fs::create_directories(target.parent_path());
    const auto url = hubURL(constantsPath(language, bosBeforeVoiceFile));
    const std::string languageName(rawValue(language));
    logger().info(concatenated({"Backfilling bos_before_voice.bin for cached ", languageName, " pack..."}));
    const std::string description = concatenated({bosBeforeVoiceFile, " (", languageName, ")"});
    const auto body = fetchFile(url, description);
    if (body.size() != bosBeforeVoiceBytes) {
        throw PocketTTSError::downloadFailed(concatenated({description, " has ", std::to_string(body.size()),
                                                           " bytes instead of ", std::to_string(bosBeforeVoiceBytes)}));
    }
    platform::sys::writeAtomically(body, target);
    logger().info(concatenated({"Wrote bos_before_voice.bin (", std::to_string(body.size()), " bytes)"}));
}

void backfillBosBeforeVoice(PocketTtsLanguage language, const fs::path& languageRoot) {
    try {
        ensureBosBeforeVoice(language, languageRoot);
    } catch (const platform::core::CancellationError&) {
        throw;
    } catch (const std::exception&) {
        logger().warning(concatenated({"Failed to backfill bos_before_voice.bin for ", rawValue(language), ": ",
                                       platform::core::describe(std::current_exception()),
                                       ". Cloned-voice v1 prefill will fail until this file is available; shipped "
                                       "snapshot voices are unaffected."}));
    }
}

void requireStateModel(const fs::path& languageRoot) {
    const auto bundle = languageRoot / names::pocketStateFile;
    if (!platform::sys::isPresent(bundle)) {
        throw PocketTTSError::modelNotFound(
            concatenated({"pocket_state.mlmodelc is required for the `.aneState` placement but is not published "
                          "upstream. Install the multifunction artifact (pocket_flowlm_mf_state.mlmodelc) at ",
                          bundle.string(), "."}));
    }
}

void downloadVoice(const std::string& name, PocketTtsLanguage language, const fs::path& local) {
    const std::string fileName = local.filename().string();
    const auto url = hubURL(constantsPath(language, fileName));
    const std::string languageName(rawValue(language));
    logger().info(
        concatenated({"Downloading voice '", name, "' for ", languageName, " from HuggingFace (", fileName, ")..."}));
    const auto body = fetchFile(url, concatenated({name, " voice prompt (", languageName, ")"}));
    platform::sys::writeAtomically(body, local);
    logger().info(concatenated({"Downloaded voice '", name, "' (", std::to_string(body.size() / 1024), " KB)"}));
}

// A fetched voice that does not load is deleted, so that a corrected file on the hub is picked up next time.
PocketTtsVoiceData loadDownloadedVoice(std::string_view voice, const fs::path& languageRoot, const fs::path& local) {
    try {
        return PocketTtsConstantsLoader::loadVoice(voice, languageRoot);
    } catch (...) {
        platform::sys::removeIgnoringFailure(local);
        throw;
    }
}

} // namespace

fs::path ensureModels(const PocketTtsModelSelection& selection, const ProgressHandler& progressHandler) {
    const auto repository = repositoryFolder(selection.directory);
    const auto languageRoot = repository / repoSubdirectory(selection.language);
    const std::string languageName(rawValue(selection.language));
    const std::string precisionName(description(selection.precision));
    if (allPresent(languageRoot, names::requiredModels(selection.precision, selection.placement))) {
        logger().info(concatenated({"PocketTTS ", languageName, " (", precisionName, ") models found in cache"}));
        backfillBosBeforeVoice(selection.language, languageRoot);
        return languageRoot;
    }
    logger().info(concatenated({"Downloading PocketTTS ", languageName, " (", precisionName,
                                ") language pack from HuggingFace (", repoSubdirectory(selection.language), ")..."}));
    downloadFolder(repoSubdirectory(selection.language), repository, progressHandler, shouldSkipAsset);
    removeUnusedFlowlmVariant(languageRoot, selection.precision);
    if (selection.placement == PocketTtsModelPlacement::aneState) {
        requireStateModel(languageRoot);
    }
    return languageRoot;
}

fs::path ensureMimiEncoder(const std::optional<fs::path>& directory) {
    const auto repository = repositoryFolder(directory);
    const auto encoder = repository / names::mimiEncoderFile;
    if (platform::sys::isPresent(encoder)) {
        logger().info("Mimi encoder found in cache");
        return encoder;
    }
    fs::create_directories(repository);
    logger().info("Downloading Mimi encoder for voice cloning...");
    downloadFolder(std::string(names::mimiEncoderFile), repository, {}, {});
    if (!platform::sys::isPresent(encoder)) {
        throw PocketTTSError::downloadFailed("Failed to download Mimi encoder model");
    }
    return encoder;
}

PocketTtsVoiceData ensureVoice(std::string_view voice, PocketTtsLanguage language, const fs::path& languageRoot) {
    const std::string name = platform::text::keepingWordCharacters(voice);
    if (name.empty()) {
        throw PocketTTSError::processingFailed(concatenated({"Invalid voice name: ", voice}));
    }
    const auto local = languageRoot / names::constantsBinDir / (name + ".safetensors");
    if (platform::sys::isPresent(local)) {
        return PocketTtsConstantsLoader::loadVoice(voice, languageRoot);
    }
    downloadVoice(name, language, local);
    return loadDownloadedVoice(voice, languageRoot, local);
}

} // namespace quorl::PocketTtsResourceDownloader
