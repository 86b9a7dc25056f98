#pragma once

#include "QuorlAudio/models/OfflineSwitch.hpp"
#include "QuorlAudio/models/RemoteFile.hpp"
#include "platform/core/Sleeper.hpp"
#include "platform/net/Response.hpp"
#include "platform/net/Session.hpp"
#include "platform/net/Url.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorl {

// Asks the model hub which files a repository holds, walking its paginated tree listing depth-first.
class HFTreeLister {
public:
    // One GET: the body and the response head, whatever the status.
    using Fetcher =
        std::function<std::pair<std::vector<std::uint8_t>, platform::net::Response>(const platform::net::Url& url)>;
    // Asked for every file (false) and directory (true) seen; a rejected directory is not listed at all.
    using IncludeRule = std::function<bool(const std::string& path, bool isDirectory)>;

    // A listing fails past this many pages in all, or folders nested deeper than this below `startingAt`.
    static constexpr int maxPages = 256;
    static constexpr int maxDepth = 64;

    // The accepted files under `startingAt` ("" for the repository root, no leading or trailing "/") of
    // the repository `repoRemotePath` ("owner/name"), in the hub's order with each accepted directory's
    // files spliced in at its place. Each page is tried up to four times like a file download (rate limits,
    // server errors and transport failures, with back-offs through `sleeper`); an answer outside 2xx fails
    // with its HTTP status. Any failure ends the whole listing; a pagination cursor that repeats ends a
    // folder's listing with a warning.
    static std::vector<RemoteFile> listTree(const std::string& repoRemotePath, const std::string& startingAt,
                                            const IncludeRule& include, const Fetcher& fetch,
                                            platform::core::Sleeper& sleeper = platform::core::Sleeper::system());

    // The standard fetcher: the hub request convention on `session`, refused while `offline` is on. The
    // switch must outlive the fetcher.
    static Fetcher fetch(std::shared_ptr<platform::net::Session> session, const OfflineSwitch& offline);
};

} // namespace quorl
