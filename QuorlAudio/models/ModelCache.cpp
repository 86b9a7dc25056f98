#include "QuorlAudio/models/ModelCache.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/DownloadLogger.hpp"
#include "QuorlAudio/models/FileError.hpp"
#include "QuorlAudio/models/ListingRecord.hpp"
#include "QuorlAudio/models/LoadedModelCache.hpp"

#include <system_error>

namespace quorl {
namespace {

namespace fs = std::filesystem;

// `relative` (as lexically_relative gives it) names a place strictly inside its base.
bool isStrictlyInside(const fs::path& relative) {
    return !relative.empty() && relative != "." && *relative.begin() != "..";
}

// Replaces a non-folder at `path` by an empty folder.
void replaceBlockingEntry(const fs::path& path) {
    downloadLogger().warning("Removing file blocking directory creation: " + path.string());
    fs::remove(path);
    fs::create_directory(path);
}

} // namespace

void ModelCache::createDirectoryRobustly(const fs::path& url, const fs::path& within) {
    std::error_code unreadable;
    if (fs::is_directory(url, unreadable)) {
        return;
    }
    const fs::path root = within.lexically_normal();
    const fs::path relative = url.lexically_normal().lexically_relative(root);
    if (!isStrictlyInside(relative)) {
        fs::create_directories(url);
        return;
    }
    fs::create_directories(root);
    fs::path current = root;
    for (const auto& component : relative) {
        if (component.empty()) {
            continue;
        }
        current /= component;
        const auto entry = fs::symlink_status(current);
        if (!fs::exists(entry)) {
            // The final creation makes every remaining level.
            fs::create_directories(url);
            return;
        }
        if (fs::is_directory(entry)) {
            continue;
        }
        if (fs::is_symlink(entry) && fs::is_directory(fs::status(current, unreadable))) {
            fs::create_directories(url);
            return;
        }
        replaceBlockingEntry(current);
    }
}

std::vector<std::string> ModelCache::missingModels(const fs::path& folder, const std::set<std::string>& models) {
    const auto record = ListingRecord::read(folder);
    std::vector<std::string> missing;
    for (const auto& name : models) {
        std::error_code unreadable;
        if (!fs::exists(folder / name, unreadable) || (record && !record->isComplete(folder, name))) {
            missing.push_back(name);
        }
    }
    // The set is already in ascending order.
    return missing;
}

void ModelCache::validateCompiledModelLayout(const fs::path& url, const std::string& name) {
    std::error_code unreadable;
    const auto status = fs::status(url, unreadable);
    if (!fs::exists(status)) {
        throw FileError::fileNoSuchFile(url, "Model file not found: " + name);
    }
    if (!fs::is_directory(status)) {
        throw FileError::fileReadCorruptFile(url, "Model path is not a directory: " + name);
    }
    const fs::path marker = url / "coremldata.bin";
    if (!fs::exists(marker, unreadable)) {
        downloadLogger().error("Missing coremldata.bin in " + name);
        throw FileError::fileReadCorruptFile(marker, "Missing coremldata.bin in model: " + name);
    }
}

void ModelCache::purgeCorruptedCache(const fs::path& url) {
    std::error_code error;
    const auto removed = fs::remove_all(url, error);
    // Bundles downloaded here again must be loaded from their new files, never answered by a model of the
    // deleted ones, even when the new files look the same; also after a removal that failed half-way.
    LoadedModelCache::shared().forgetModelsBelow(url);
    if (!error) {
        // Nothing removed: the folder was already gone, which is not worth a line.
        if (removed > 0) {
            downloadLogger().info("Successfully deleted corrupted cache at " + url.string());
        }
        return;
    }
    if (error == std::errc::no_such_file_or_directory) {
        return;
    }
    downloadLogger().warning("Failed to delete cache: " + error.message());
    downloadLogger().info("Will attempt to overwrite during re-download");
}

} // namespace quorl
