#pragma once

#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/HubAccess.hpp"
#include "QuorlAudio/models/OfflineSwitch.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/core/Sleeper.hpp"
#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"
#include "platform/net/Response.hpp"
#include "platform/net/Session.hpp"
#include "platform/net/SessionConfiguration.hpp"
#include "platform/net/Url.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quorl {

// The one road by which model managers obtain their models: downloads of a repository's files into the
// model cache, single-file fetches, and loading the compiled bundles with one purge-and-retry. Every
// network operation refuses while the hub is offline. Model managers use the process-wide `shared` hub;
// tests make their own with their own session, switch and sleeper.
class ModelHub {
public:
    // Answers whether a file or folder of a sub-folder download is left out (a left-out folder is not
    // listed at all).
    using SkipRule = std::function<bool(const std::string& path)>;
    using LoadedModels = std::map<std::string, std::shared_ptr<platform::ml::Model>>;

    // What a hub is made with, written with designated initialisers: `{.offline = true}`.
    struct Options {
        // The session every request is sent on; none: the process's hub session, with the proxies of the
        // environment.
        std::shared_ptr<platform::net::Session> session = nullptr;
        // Whether the hub starts offline.
        bool offline = false;
        // Waits out download back-offs; none: the real sleeper. Must outlive the hub.
        platform::core::Sleeper* sleeper = nullptr;
    };

    // What a whole-repository download fetches, written with designated initialisers.
    struct DownloadRequest {
        Repo repo;
        // The models root; the repository's files go to to / folderName(repo).
        std::filesystem::path to;
        std::optional<std::string> variant = std::nullopt;
        std::set<std::string> additionalModelNames = {};
        // With a configuration the download sends on a session of its own.
        std::optional<platform::net::SessionConfiguration> configuration = std::nullopt;
    };

    // What loadModels loads, written with designated initialisers.
    struct LoadRequest {
        Repo repo;
        std::vector<std::string> modelNames;
        // The models root.
        std::filesystem::path directory;
        platform::ml::ComputeUnits computeUnits;
        std::optional<std::string> variant = std::nullopt;
    };

    explicit ModelHub(const Options& options);
    ModelHub(const ModelHub&) = delete;
    ModelHub& operator=(const ModelHub&) = delete;

    // The process-wide hub: the process's hub session, online at start, the real sleeper.
    static ModelHub& shared();

    bool offlineMode() const;
    void setOfflineMode(bool offline);

    std::shared_ptr<platform::net::Session> session() const;

    // Downloads the files of the request's repository that its model family needs (for the variant), plus
    // the additional model names, into to / folderName(repo): each file at its repository path without the
    // repository's sub-folder prefix, a file found only at the repository root at its full path. Progress
    // runs from 0 to 0.5. Throws DownloadError::modelNotFound when a wanted name is still missing afterwards.
    void download(const DownloadRequest& request, const ProgressHandler& progressHandler = {}) const;

    // Downloads every file below `subdirectory` of `repo` that `shouldSkip` does not leave out, each to
    // `to` / its full repository path. Progress runs from 0 to 1.0.
    void download(Repo repo, const std::string& subdirectory, const std::filesystem::path& to,
                  const ProgressHandler& progressHandler = {}, const SkipRule& shouldSkip = {}) const;

    // One small file into memory, retried; `description` names it in logs and errors.
    std::vector<std::uint8_t> fetchFile(const platform::net::Url& from, const std::string& description, int maxAttempts,
                                        double minBackoff) const;

    // One GET with the hub's token on the hub's session; the answer as it comes, whatever its status.
    std::pair<std::vector<std::uint8_t>, platform::net::Response> fetchWithAuth(const platform::net::Url& from) const;

    // Downloads what is missing of the request's repository under its models root, checks each bundle of
    // its model names and loads it with its compute units; progress 0 to 0.5 while downloading, 0.5 to 1.0
    // while loading. When checking or loading a cached bundle fails (outside offline mode), that bundle's
    // folder is deleted and everything is tried once more, which fetches only what is then missing. Network
    // failures, rate limits and cancellations are passed on without touching the cache. A bundle still
    // loaded from an earlier call, unchanged on disk and asked for with the same compute units, comes back
    // as the same shared model (see LoadedModelCache). Loads of the same cache folder run one at a time; a
    // progress handler must not start another load of the same folder and wait for it.
    LoadedModels loadModels(const LoadRequest& request, const ProgressHandler& progressHandler = {}) const;

    // Deletes directory / folderName(repo); failures are ignored. Both clearings forget the models loaded
    // from what they delete.
    static void clearCache(Repo repo, const std::filesystem::path& directory);
    // Deletes the default models root and the speech-synthesis cache (~/.cache/quorlaudio).
    static void clearAllCaches();

private:
    HubAccess access() const;

    std::shared_ptr<platform::net::Session> session_;
    OfflineSwitch offline_;
    platform::core::Sleeper& sleeper_;
};

} // namespace quorl
