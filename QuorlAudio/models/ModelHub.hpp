#pragma once

#include "QuorlAudio/models/ProgressReporter.hpp"
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
// network operation refuses while the offline switch is on.
class ModelHub {
public:
    // Answers whether a file or folder of a sub-folder download is left out (a left-out folder is not
    // listed at all).
    using SkipRule = std::function<bool(const std::string& path)>;
    using LoadedModels = std::map<std::string, std::shared_ptr<platform::ml::Model>>;

    // The process-wide offline switch of the hub client, off at start.
    static bool offlineMode();
    static void setOfflineMode(bool offline);

    // The shared hub session.
    static std::shared_ptr<platform::net::Session> session();

    // Downloads the files of `repo` that its model family needs (for `variant`), plus
    // `additionalModelNames`, into to / folderName(repo): each file at its repository path without the
    // repository's sub-folder prefix, a file found only at the repository root at its full path. Progress
    // runs from 0 to 0.5. With a configuration the download sends on a session of its own. Throws
    // DownloadError::modelNotFound when a wanted name is still missing afterwards.
    static void download(Repo repo, const std::filesystem::path& to,
                         const std::optional<std::string>& variant = std::nullopt,
                         const std::set<std::string>& additionalModelNames = {},
                         const ProgressHandler& progressHandler = {},
                         const std::optional<platform::net::SessionConfiguration>& configuration = std::nullopt,
                         platform::core::Sleeper& sleeper = platform::core::Sleeper::system());

    // Downloads every file below `subdirectory` of `repo` that `shouldSkip` does not leave out, each to
    // `to` / its full repository path. Progress runs from 0 to 1.0.
    static void download(Repo repo, const std::string& subdirectory, const std::filesystem::path& to,
                         const ProgressHandler& progressHandler = {}, const SkipRule& shouldSkip = {},
                         platform::core::Sleeper& sleeper = platform::core::Sleeper::system());

    // One small file into memory, retried; `description` names it in logs and errors.
    static std::vector<std::uint8_t> fetchFile(const platform::net::Url& from, const std::string& description,
                                               int maxAttempts, double minBackoff,
                                               platform::core::Sleeper& sleeper = platform::core::Sleeper::system());

    // One GET with the hub's token on the shared session; the answer as it comes, whatever its status.
    static std::pair<std::vector<std::uint8_t>, platform::net::Response> fetchWithAuth(const platform::net::Url& from);

    // Downloads what is missing of `repo` under the models root `directory`, checks each bundle of
    // `modelNames` and loads it with `computeUnits`; progress 0 to 0.5 while downloading, 0.5 to 1.0 while
    // loading. When checking or loading a cached bundle fails (outside offline mode), that bundle's folder
    // is deleted and everything is tried once more, which fetches only what is then missing. Network failures, rate limits and cancellations
    // are passed on without touching the cache. A bundle still loaded from an earlier call, unchanged on
    // disk and asked for with the same compute units, comes back as the same shared model (see
    // LoadedModelCache). Loads of the same cache folder run one at a time; a progress handler must not
    // start another load of the same folder and wait for it.
    static LoadedModels loadModels(Repo repo, const std::vector<std::string>& modelNames,
                                   const std::filesystem::path& directory, platform::ml::ComputeUnits computeUnits,
                                   const std::optional<std::string>& variant = std::nullopt,
                                   const ProgressHandler& progressHandler = {},
                                   platform::core::Sleeper& sleeper = platform::core::Sleeper::system());

    // Deletes directory / folderName(repo); failures are ignored. Both clearings forget the models loaded
    // from what they delete.
    static void clearCache(Repo repo, const std::filesystem::path& directory);
    // Deletes the default models root and the speech-synthesis cache (~/.cache/quorlaudio).
    static void clearAllCaches();
};

} // namespace quorl
