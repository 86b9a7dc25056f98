#pragma once

#include "platform/net/Request.hpp"
#include "platform/net/Response.hpp"
#include "platform/net/SessionConfiguration.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace quorl {

// Fetches single files from the model hub.
class FileDownloader {
public:
    // Bytes in the file so far (a resumed prefix included) and the file's full size, -1 when unknown.
    using ProgressCallback = std::function<void(std::int64_t bytesWritten, std::int64_t expectedTotal)>;
    using ResponseCallback = std::function<void(const platform::net::Response& response)>;

    // One transfer of `request`, its body written to `destination` as it arrives: appended after the
    // `resumeOffset` bytes already there for a 206 that resumes at that offset, written from the start
    // for any other 2xx, not written at all for other statuses. `onResponse` sees the head before any byte
    // is written; `onProgress` follows every written chunk. Returns the response once the body is on disk.
    // A 206 that resumes anywhere else empties the file and throws a retryable
    // DownloadError::invalidArtifact. Cancelling the calling task cancels the transfer. Without a
    // configuration the transfer uses the hub session's one.
    static platform::net::Response streamDownload(
        const platform::net::Request& request, const std::filesystem::path& destination, std::int64_t resumeOffset,
        const std::optional<platform::net::SessionConfiguration>& configuration, ProgressCallback onProgress,
        ResponseCallback onResponse);

private:
    class StreamingDownloadDelegate;
};

} // namespace quorl
