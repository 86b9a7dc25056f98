#include "QuorlAudio/models/ModelHub.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/foundation/SystemInfo.hpp"
#include "QuorlAudio/foundation/SystemInfoReporter.hpp"
#include "QuorlAudio/models/CacheFolderLock.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/DownloadLogger.hpp"
#include "QuorlAudio/models/FileDownloader.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/HFTreeLister.hpp"
#include "QuorlAudio/models/ListingRecord.hpp"
#include "QuorlAudio/models/LoadedModelCache.hpp"
#include "QuorlAudio/models/ModelCache.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/models/ProgressReporter.hpp"
#include "QuorlAudio/models/RepositoryPath.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "QuorlAudio/models/SessionLease.hpp"
#include "QuorlAudio/models/WantedFiles.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SaturatingAdd.hpp"
#include "platform/sys/FileRemoval.hpp"
#include "platform/sys/UserFolders.hpp"

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <map>
#include <system_error>

namespace quorl {
namespace {

namespace fs = std::filesystem;

void report(const ProgressHandler& handler, double fraction, DownloadPhase phase) {
    if (handler) {
        handler(DownloadProgress{.fractionCompleted = fraction, .phase = std::move(phase)});
    }
}

// A file whose size the listing did not give counts as no bytes.
std::int64_t countedBytes(const RemoteFile& file) { return std::max<std::int64_t>(file.size, 0); }

// Held at the largest count rather than overflowing, however large the sizes a listing states.
std::int64_t totalBytes(const std::vector<RemoteFile>& files) {
    std::int64_t total = 0;
    for (const auto& file : files) {
        total = platform::core::saturatingAdd(total, countedBytes(file));
    }
    return total;
}

// The share of a download that is done: by bytes when sizes are known, else by files.
double completedShare(std::int64_t completedBytes, std::int64_t allBytes, int completedFiles, int allFiles) {
    if (allFiles == 0) {
        return 1.0;
    }
    const double share = allBytes >= 1 ? static_cast<double>(completedBytes) / static_cast<double>(allBytes)
                                       : static_cast<double>(completedFiles) / allFiles;
    return std::min(1.0, share);
}

// Where a whole-repository download stores a listed file: without the repository's sub-folder prefix.
fs::path repositoryDestination(const fs::path& repositoryFolder, const std::string& path,
                               const std::optional<std::string>& subFolder) {
    checkRepositoryPath(path);
    if (subFolder && path.starts_with(*subFolder + "/")) {
        return repositoryFolder / path.substr(subFolder->size() + 1);
    }
    return repositoryFolder / path;
}

// One whole-repository download, shared by the steps that fetch its files.
struct RepositoryDownload {
    Repo repo;
    const fs::path& root;
    const fs::path& repositoryFolder;
    const std::optional<platform::net::SessionConfiguration>& configuration;
    const ProgressHandler& progressHandler;
    const HubAccess& access;
};

// Records what the listing says the wanted names hold before any of it is fetched, so that a download cut
// off at any point (a failure, a killed process) leaves a cache that knows what it still lacks.
void recordListing(const RepositoryDownload& download, const std::set<std::string>& wanted,
                   const std::vector<RemoteFile>& files) {
    std::map<std::string, std::int64_t> listed;
    const auto subFolder = subPath(download.repo);
    for (const auto& file : files) {
        const fs::path destination = repositoryDestination(download.repositoryFolder, file.path, subFolder);
        listed.insert_or_assign(destination.lexically_relative(download.repositoryFolder).generic_string(), file.size);
    }
    ListingRecord record = ListingRecord::read(download.repositoryFolder).value_or(ListingRecord{});
    record.replace(wanted, listed);
    record.write(download.repositoryFolder);
}

void fetchRepositoryFiles(const RepositoryDownload& download, const std::vector<RemoteFile>& files) {
    const int count = static_cast<int>(files.size());
    const std::int64_t allBytes = totalBytes(files);
    const ProgressReporter reporter{.handler = download.progressHandler, .downloadPhaseWeight = 0.5};
    const auto subFolder = subPath(download.repo);
    std::int64_t completedBytes = 0;
    for (int index = 0; index < count; ++index) {
        const RemoteFile& file = files[static_cast<std::size_t>(index)];
        const fs::path destination = repositoryDestination(download.repositoryFolder, file.path, subFolder);
        const auto outcome =
            FileDownloader::ensure({.file = file,
                                    .from = remotePath(download.repo),
                                    .at = destination,
                                    .recoveringBlockedPaths = download.root,
                                    .configuration = download.configuration,
                                    .onBytes = reporter.liveBytesCallback(completedBytes, allBytes, index, count)},
                                   download.access);
        completedBytes = platform::core::saturatingAdd(completedBytes, countedBytes(file));
        if (outcome != FileDownloader::Outcome::downloaded) {
            continue;
        }
        const int done = index + 1;
        if (done % 10 == 0 || done == count) {
            downloadLogger().info(platform::core::concatenated(
                {"Downloaded ", std::to_string(done), "/", std::to_string(count), " files"}));
        }
        report(download.progressHandler, 0.5 * completedShare(completedBytes, allBytes, done, count),
               DownloadPhase::downloading(done, count));
    }
}

// Milliseconds as "%.2f" would print them, with a point whatever the process's locale.
// ["a", "b"]
std::string quotedList(const std::vector<std::string>& names) {
    std::string text = "[";
    for (std::size_t index = 0; index < names.size(); ++index) {
        text.append(index == 0 ? "\"" : ", \"").append(names[index]).append("\"");
    }
    return text.append("]");
}

// Whether a transfer into one of the wanted bundle folders was interrupted: a partial file (the
// destination's name with ".partial" appended) whose destination is not there yet, waiting to be resumed.
// Leftovers of other bundles (another variant's) or beside a finished file do not count: they would send
// every load of a complete cache to the network, and fail it while the network is down.
bool hasUnfinishedDownloads(const fs::path& folder, const std::set<std::string>& wanted) {
    for (const auto& name : wanted) {
        std::error_code unreadable;
        for (fs::recursive_directory_iterator entry(folder / name, unreadable), end; !unreadable && entry != end;
             entry.increment(unreadable)) {
            const fs::path& path = entry->path();
            std::error_code absent;
            if (path.extension() == ".partial" && !fs::exists(fs::path(path).replace_extension(), absent)) {
                return true;
            }
        }
    }
    return false;
}

// One call of loadModels: what it asks for, whom it tells and the hub that fetches what is missing.
struct LoadJob {
    const ModelHub::LoadRequest& request;
    const ProgressHandler& progressHandler;
    const ModelHub& hub;

    fs::path repositoryFolder() const { return request.directory / folderName(request.repo); }
};

// Makes sure every required and requested name is in the cache, downloading what is missing (0 to 0.5).
void fillCache(const LoadJob& job) {
    const ModelHub::LoadRequest& request = job.request;
    fs::create_directories(request.directory);
    const fs::path folder = job.repositoryFolder();
    std::set<std::string> wanted = ModelNames::getRequiredModelNames(request.repo, request.variant);
    std::set<std::string> extra;
    for (const auto& name : request.modelNames) {
        if (!wanted.contains(name)) {
            extra.insert(name);
        }
    }
    wanted.insert(extra.begin(), extra.end());
    const auto missing = ModelCache::missingModels(folder, wanted);
    const bool offline = job.hub.offlineMode();
    if (!missing.empty() && offline) {
        downloadLogger().error(platform::core::concatenated(
            {"Offline mode: required models missing at ", folder.string(), ": ", quotedList(missing)}));
        throw DownloadError::modelMissing(folderName(request.repo), missing);
    }
    // A bundle whose folder exists counts as present even while one of its files is still a partial
    // download; the download then resumes that file rather than the load failing and purging it.
    if (missing.empty() && (offline || !hasUnfinishedDownloads(folder, wanted))) {
        downloadLogger().info(
            platform::core::concatenated({"Found ", folderName(request.repo), " locally, no download needed"}));
        report(job.progressHandler, 0.5, DownloadPhase::downloading(0, 0));
        return;
    }
    downloadLogger().info("Models not found in cache at " + folder.string());
    job.hub.download(
        {.repo = request.repo, .to = request.directory, .variant = request.variant, .additionalModelNames = extra},
        job.progressHandler);
}

// Checks and loads each requested bundle from the cache (0.5 to 1.0); `loading` names the bundle at hand,
// so that a failure can be pinned on it.
ModelHub::LoadedModels loadCachedModels(const LoadJob& job, std::optional<std::string>& loading) {
    const ModelHub::LoadRequest& request = job.request;
    const fs::path folder = job.repositoryFolder();
    const auto configuration = MLModelConfigurationUtils::defaultConfiguration(request.computeUnits);
    const double count = static_cast<double>(request.modelNames.size());
    ModelHub::LoadedModels models;
    for (std::size_t index = 0; index < request.modelNames.size(); ++index) {
        const std::string& name = request.modelNames[index];
        const fs::path bundle = folder / name;
        loading = name;
        ModelCache::validateCompiledModelLayout(bundle, name);
        report(job.progressHandler, 0.5 + (static_cast<double>(index) * 0.5) / count, DownloadPhase::compiling(name));
        const auto start = std::chrono::steady_clock::now();
        // A bundle already loaded and unchanged hands out its live model instead of being prepared again.
        auto model = LoadedModelCache::shared().load(bundle, configuration);
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        models.insert_or_assign(name, std::move(model));
        downloadLogger().info(platform::core::concatenated(
            {"Compiled model ", name, " in ", fixedDecimalText(elapsed.count(), 2), " ms :: ", SystemInfo::summary()}));
    }
    report(job.progressHandler, 1.0, DownloadPhase::compiling(""));
    loading.reset();
    return models;
}

ModelHub::LoadedModels loadModelsOnce(const LoadJob& job) {
    fillCache(job);
    std::optional<std::string> loading;
    return loadCachedModels(job, loading);
}

// After a failed first attempt: rethrows the error when trying again cannot help or must not happen;
// otherwise purges the bundle that failed for one more attempt. Only a bundle that fails its check or its
// load is evidence of a corrupted cache, and only of itself: a failed download (network, rate limit,
// missing file) leaves good files and resumable partial files where they are, and the other bundles of the
// repository, which may be gigabytes, stay too.
void recoverFromFirstFailure(const std::exception_ptr& error, const std::optional<std::string>& failedBundle,
                             const LoadJob& job) {
    const std::string description = platform::core::describe(error);
    if (job.hub.offlineMode()) {
        downloadLogger().warning("Offline mode: load failed and re-download blocked. " + description);
        std::rethrow_exception(error);
    }
    if (RetryPolicy::isCancellation(error)) {
        downloadLogger().info("Load cancelled; preserving model cache. " + description);
        std::rethrow_exception(error);
    }
    if (!failedBundle) {
        std::rethrow_exception(error);
    }
    downloadLogger().warning("First load failed: " + description);
    downloadLogger().info("Deleting cache and re-downloading\u2026");
    ModelCache::purgeCorruptedCache(job.repositoryFolder() / *failedBundle);
}

// Forgets the models loaded from what it deletes.
void removeModelsIgnoringFailure(const fs::path& path) {
    platform::sys::removeIgnoringFailure(path);
    LoadedModelCache::shared().forgetModelsBelow(path);
}

} // namespace

ModelHub::ModelHub(const Options& options)
    : session_(options.session ? options.session : HFClient::session()), offline_(options.offline),
      sleeper_(options.sleeper ? *options.sleeper : platform::core::Sleeper::system()) {}

ModelHub& ModelHub::shared() {
    static ModelHub hub(Options{});
    return hub;
}

bool ModelHub::offlineMode() const { return offline_.isOn(); }

void ModelHub::setOfflineMode(bool offline) { offline_.set(offline); }

std::shared_ptr<platform::net::Session> ModelHub::session() const { return session_; }

HubAccess ModelHub::access() const { return {.session = session_, .offline = offline_, .sleeper = sleeper_}; }

void ModelHub::download(const DownloadRequest& request, const ProgressHandler& progressHandler) const {
    const std::string folder = folderName(request.repo);
    offline_.refuseWhileOn(platform::core::concatenated({"download(", folder, ")"}));
    downloadLogger().info(platform::core::concatenated({"Downloading ", folder, " from HuggingFace..."}));
    const SessionLease lease(request.configuration, session_);
    const fs::path repositoryFolder = request.to / folder;
    // A stray file in place of the repository folder is cache damage like any other: it is replaced here,
    // since a failed download does not lead to a purge.
    ModelCache::createDirectoryRobustly(repositoryFolder, request.to);
    std::set<std::string> wanted = ModelNames::getRequiredModelNames(request.repo, request.variant);
    wanted.insert(request.additionalModelNames.begin(), request.additionalModelNames.end());
    report(progressHandler, 0, DownloadPhase::listing());
    const auto files = listWantedFiles(remotePath(request.repo), wanted, subPath(request.repo),
                                       HFTreeLister::fetch(lease.session(), offline_), sleeper_);
    downloadLogger().info(platform::core::concatenated({"Found ", std::to_string(files.size()), " files to download"}));
    // A configured session serves the listing; each transfer makes its own with the same configuration.
    const HubAccess transfers = access();
    const RepositoryDownload repositoryDownload{.repo = request.repo,
                                                .root = request.to,
                                                .repositoryFolder = repositoryFolder,
                                                .configuration = request.configuration,
                                                .progressHandler = progressHandler,
                                                .access = transfers};
    recordListing(repositoryDownload, wanted, files);
    fetchRepositoryFiles(repositoryDownload, files);
    const auto missing = ModelCache::missingModels(repositoryFolder, wanted);
    if (!missing.empty()) {
        throw DownloadError::modelNotFound(missing.front());
    }
    downloadLogger().info("Downloaded all required models for " + folder);
}

void ModelHub::download(Repo repo, const std::string& subdirectory, const fs::path& to,
                        const ProgressHandler& progressHandler, const SkipRule& shouldSkip) const {
    const std::string folder = folderName(repo);
    offline_.refuseWhileOn(platform::core::concatenated({"download(", folder, "/", subdirectory, ")"}));
    report(progressHandler, 0, DownloadPhase::listing());
    const auto include = [&shouldSkip](const std::string& path, bool) { return !shouldSkip || !shouldSkip(path); };
    const auto files = HFTreeLister::listTree(remotePath(repo), subdirectory, include,
                                              HFTreeLister::fetch(session_, offline_), sleeper_);
    const int count = static_cast<int>(files.size());
    downloadLogger().info(platform::core::concatenated({"Found ", std::to_string(count), " files in ", subdirectory}));
    const std::int64_t allBytes = totalBytes(files);
    report(progressHandler, count == 0 ? 1.0 : 0.0, DownloadPhase::downloading(0, count));
    const ProgressReporter reporter{.handler = progressHandler, .downloadPhaseWeight = 1.0};
    std::int64_t completedBytes = 0;
    for (int index = 0; index < count; ++index) {
        const RemoteFile& file = files[static_cast<std::size_t>(index)];
        checkRepositoryPath(file.path);
        auto onBytes = file.size >= 1 ? reporter.liveBytesCallback(completedBytes, allBytes, index, count)
                                      : FileDownloader::ProgressCallback();
        const auto outcome = FileDownloader::ensure(
            {.file = file, .from = remotePath(repo), .at = to / file.path, .onBytes = std::move(onBytes)}, access());
        completedBytes = platform::core::saturatingAdd(completedBytes, countedBytes(file));
        const int done = index + 1;
        report(progressHandler, completedShare(completedBytes, allBytes, done, count),
               DownloadPhase::downloading(done, count));
        if (outcome != FileDownloader::Outcome::alreadyPresent && (done % 5 == 0 || done == count)) {
            downloadLogger().info(platform::core::concatenated(
                {"Downloaded ", std::to_string(done), "/", std::to_string(count), " ", subdirectory, " files"}));
        }
    }
    downloadLogger().info(platform::core::concatenated({"Downloaded ", subdirectory, " from ", folder}));
}

std::vector<std::uint8_t> ModelHub::fetchFile(const platform::net::Url& from, const std::string& description,
                                              int maxAttempts, double minBackoff) const {
    return FileDownloader::fetchData(from, description, maxAttempts, minBackoff, std::nullopt, access());
}

std::pair<std::vector<std::uint8_t>, platform::net::Response>
ModelHub::fetchWithAuth(const platform::net::Url& from) const {
    offline_.refuseWhileOn(platform::core::concatenated({"fetchWithAuth(", from.absoluteString(), ")"}));
    return session_->data(HFClient::request(from));
}

ModelHub::LoadedModels ModelHub::loadModels(const LoadRequest& request, const ProgressHandler& progressHandler) const {
    SystemInfoReporter::shared().logIfNeeded(downloadLogger());
    const LoadJob job{.request = request, .progressHandler = progressHandler, .hub = *this};
    // A second load of the same folder would otherwise purge the files this one is about to load.
    const CacheFolderLock lock(job.repositoryFolder());
    std::optional<std::string> loading;
    try {
        fillCache(job);
        return loadCachedModels(job, loading);
    } catch (...) {
        recoverFromFirstFailure(std::current_exception(), loading, job);
    }
    return loadModelsOnce(job);
}

void ModelHub::clearCache(Repo repo, const fs::path& directory) {
    removeModelsIgnoringFailure(directory / folderName(repo));
}

void ModelHub::clearAllCaches() {
    try {
        removeModelsIgnoringFailure(MLModelConfigurationUtils::defaultModelsDirectory());
    } catch (const platform::core::Error&) {
        // No Application Support folder: there is no models root to clear.
    }
    try {
        removeModelsIgnoringFailure(platform::sys::UserFolders::home() / ".cache" / "quorlaudio");
    } catch (const platform::core::Error&) {
        // No home folder: there is no synthesis cache to clear.
    }
    downloadLogger().info("All model caches cleared");
}

} // namespace quorl
