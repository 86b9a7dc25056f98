#include "QuorlAudio/asr/multilingual/NemotronMultilingualVariantDownloader.hpp"

#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "platform/sys/FileRemoval.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/DecimalInteger.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <exception>
#include <fstream>
#include <system_error>

namespace quorl {

namespace fs = std::filesystem;

// One call's variant: where it lives in the repository and in the cache, and who hears about it.
struct NemotronMultilingualVariantDownloader::Variant {
    AppLogger logger;
    std::string path;
    fs::path repositoryFolder;
    fs::path directory;
    ProgressHandler progressHandler;
    const ModelHub& hub;

    fs::path vocabulary() const { return directory / "tokenizer.json"; }
    fs::path backup() const { return directory / "tokenizer.json.corrupt"; }
    fs::path mark() const { return directory / incompleteMarkName; }
};

namespace {

constexpr std::array<const char*, 6> latinPrefixes{"en", "es", "fr", "it", "pt", "de"};

bool isPackagePath(const std::string& path) { return path.find(".mlpackage") != std::string::npos; }

void writeEmptyFile(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        throw fs::filesystem_error("Cannot write the download mark", path,
                                   std::make_error_code(std::errc::permission_denied));
    }
}

bool hasOnlyStringValues(const nlohmann::json& vocabulary) {
    if (!vocabulary.is_object()) {
        return false;
    }
    for (const auto& [key, value] : vocabulary.items()) {
        if (!value.is_string()) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string NemotronMultilingualVariantDownloader::languageDirectory(const std::string& languageCode) {
    const std::string code = platform::text::lowercased(languageCode);
    for (const char* prefix : latinPrefixes) {
        if (code.starts_with(prefix)) {
            return "latin";
        }
    }
    return "multilingual";
}

fs::path NemotronMultilingualVariantDownloader::download(const NemotronMultilingualVariantRequest& request) {
    return download(request, ModelHub::shared());
}

fs::path NemotronMultilingualVariantDownloader::download(const NemotronMultilingualVariantRequest& request,
                                                         const ModelHub& hub) {
    const std::string path = languageDirectory(request.languageCode) + "/" + std::to_string(request.chunkMs) + "ms";
    const fs::path base = request.to ? *request.to : MLModelConfigurationUtils::defaultModelsDirectory();
    const fs::path repositoryFolder = base / "nemotron-multilingual";
    const Variant variant{AppLogger("NemotronMultilingualStreaming"),
                          path,
                          repositoryFolder,
                          repositoryFolder / path,
                          request.progressHandler,
                          hub};
    const fs::path metadata = variant.directory / "metadata.json";
    if (!platform::sys::isPresent(metadata) || platform::sys::isPresent(variant.mark())) {
        fetchWhole(variant);
    } else if (tokenizerHasCorruptBlankEntry(variant.vocabulary(), metadata)) {
        repairVocabulary(variant);
    } else {
        variant.logger.info("Using cached multilingual variant at " + variant.directory.string());
    }
    return variant.directory;
}

// The hub keeps every file already present, so a download after an interrupted one fetches only the rest.
void NemotronMultilingualVariantDownloader::fetchWhole(const Variant& variant) {
    variant.logger.info("Downloading multilingual variant " + variant.path + " (.mlmodelc only)...");
    writeEmptyFile(variant.mark());
    fetch(variant);
    platform::sys::removeIgnoringFailure(variant.mark());
}

void NemotronMultilingualVariantDownloader::fetch(const Variant& variant) {
    variant.hub.download(Repo::nemotronMultilingual, variant.path, variant.repositoryFolder, variant.progressHandler,
                         isPackagePath);
}

// The defective file is moved aside so that the hub fetches it again; without the hub it comes back.
void NemotronMultilingualVariantDownloader::repairVocabulary(const Variant& variant) {
    variant.logger.warning("Cached tokenizer.json at " + variant.vocabulary().string() +
                           " has a corrupt duplicate '<blank>' entry \u2014 re-downloading the fixed file");
    platform::sys::removeIgnoringFailure(variant.backup());
    fs::rename(variant.vocabulary(), variant.backup());
    try {
        fetch(variant);
    } catch (const std::exception& error) {
        std::error_code ignored;
        fs::rename(variant.backup(), variant.vocabulary(), ignored);
        variant.logger.warning(std::string("Could not re-download tokenizer.json (") + error.what() +
                               "); keeping the cached copy");
        return;
    }
    platform::sys::removeIgnoringFailure(variant.backup());
    variant.logger.info("Repaired tokenizer.json for " + variant.path);
}

bool NemotronMultilingualVariantDownloader::tokenizerHasCorruptBlankEntry(const fs::path& tokenizerPath,
                                                                          const fs::path& metadataPath) {
    std::int64_t blankIdx = 0;
    nlohmann::json vocabulary;
    try {
        blankIdx = NemotronMultilingualStreamingConfig::read(metadataPath).blankIdx;
        vocabulary = nlohmann::json::parse(platform::sys::wholeFile(tokenizerPath));
    } catch (const std::exception&) {
        return false;
    }
    if (!hasOnlyStringValues(vocabulary)) {
        return false;
    }
    for (const auto& [key, value] : vocabulary.items()) {
        const auto id = platform::text::decimalInteger(key);
        if (value.get_ref<const std::string&>() == "<blank>" && id && *id != blankIdx) {
            return true;
        }
    }
    return false;
}

} // namespace quorl
