#pragma once

#include "QuorlAudio/models/HubAccess.hpp"
#include "QuorlAudio/models/RemoteFile.hpp"
#include "platform/net/Request.hpp"
#include "platform/net/Response.hpp"
#include "platform/net/SessionConfiguration.hpp"
#include "platform/net/Url.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// Fetches single files from the model hub: resumable downloads to disk through a partial file beside the
// destination ("<destination>.partial", with the server's validator in "<destination>.partial.etag"), and
// small fetches into memory, both retried through RetryPolicy and checked against HTML error pages.
class FileDownloader {
public:
    // Bytes in the file so far (a resumed prefix included) and the file's full size, -1 when unknown.
    using ProgressCallback = std::function<void(std::int64_t bytesWritten, std::int64_t expectedTotal)>;
    using ResponseCallback = std::function<void(const platform::net::Response& response)>;

    // What ensure did.
    enum class Outcome {
        // Something already existed at the destination; nothing was done.
        alreadyPresent,
        // The remote file is empty; an empty file was made without a request.
        createdEmpty,
        // The file was transferred, validated and moved into place.
        downloaded,
    };

    // One listed file and where ensure puts it, written with designated initialisers.
    struct Placement {
        RemoteFile file;
        // The repository, "owner/name".
        std::string from;
        std::filesystem::path at;
        // When given, the destination's folder is made with ModelCache::createDirectoryRobustly below it.
        std::optional<std::filesystem::path> recoveringBlockedPaths = std::nullopt;
        // Without one the transfer copies the hub session's configuration.
        std::optional<platform::net::SessionConfiguration> configuration = std::nullopt;
        ProgressCallback onBytes = {};
    };

    // Makes sure the placement's file exists at its destination. Creates the destination's folder first
    // (robustly or plainly, see Placement). Downloads through the partial file, resuming an interrupted
    // transfer with "Range" and "If-Range", four attempts with back-offs from 1 s, then moves the file into
    // place. Refused while offline unless the file is present or empty. Throws the last attempt's error.
    static Outcome ensure(const Placement& placement, const HubAccess& access);

    // One retried transfer of `request` into a partial file, written with designated initialisers.
    struct Transfer {
        platform::net::Request request;
        // Names the file in logs and errors.
        std::string path;
        // Below 1 skips the size check; otherwise no more bytes than this are ever written.
        std::int64_t expectedSize = -1;
        // A new one in the temporary folder when absent.
        std::optional<std::filesystem::path> partialFile = std::nullopt;
        ProgressCallback onProgress = {};
        int maxAttempts = 4;
        double minBackoff = 1.0;
        // Without one the transfer copies the hub session's configuration.
        std::optional<platform::net::SessionConfiguration> configuration = std::nullopt;
        // When given, the finished file must have this SHA-256, else it is discarded and fetched again.
        std::optional<std::string> expectedSha256 = std::nullopt;
    };

    // Runs `transfer`; returns the partial file once it is complete and valid. Answers map to errors: 429
    // and 503 to a rate limit carrying the server's "Retry-After", 416 to an invalid artifact (the partial
    // file is discarded), any other status outside 2xx to a download failure with the HTTP status. A resumed
    // answer (206) must carry the stored validator and the expected total, else the file starts over from
    // byte 0. A body without a stated length that ends early counts as cut and is continued by the next
    // attempt.
    static std::filesystem::path download(const Transfer& transfer, const HubAccess& access);

    // The retried fetch of a small file into memory with the same status mapping and body checks, no
    // resumption and no size check. Without a configuration it sends on the hub session.
    static std::vector<std::uint8_t> fetchData(const platform::net::Url& from, const std::string& description,
                                               int maxAttempts, double minBackoff,
                                               const std::optional<platform::net::SessionConfiguration>& configuration,
                                               const HubAccess& access);

    // Throws DownloadError::invalidArtifact for an HTML answer or body, an empty file, or a size other than
    // `expectedSize` (when that is 1 or more).
    static void validateDownloadedArtifact(const std::filesystem::path& at,
                                           const std::optional<platform::net::Response>& response,
                                           const std::string& path, std::int64_t expectedSize);

    // One transfer of `request`, its body written to `destination` as it arrives: appended after the
    // `resumeOffset` bytes already there for a 206 that resumes at that offset, written from the start
    // for any other 2xx, not written at all for other statuses. `onResponse` sees the head before any byte
    // is written; `onProgress` follows every written chunk. Returns the response once the body is on disk.
    // A 206 that resumes anywhere else, or whose "Content-Range" is not one well-formed range of the stated
    // length, empties the file and throws a retryable DownloadError::invalidArtifact; so does a body that
    // would take the file past `sizeLimit` bytes (-1: no limit), after writing up to the limit. `onResponse`
    // may refuse the answer by throwing, which ends the transfer with that error. Cancelling the calling
    // task cancels the transfer, which runs on a session of its own made with `configuration`.
    static platform::net::Response streamDownload(const platform::net::Request& request,
                                                  const std::filesystem::path& destination, std::int64_t resumeOffset,
                                                  const platform::net::SessionConfiguration& configuration,
                                                  ProgressCallback onProgress, ResponseCallback onResponse,
                                                  std::int64_t sizeLimit = -1);

private:
    class StreamingDownloadDelegate;
};

} // namespace quorl
