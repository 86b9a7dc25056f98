#pragma once

#include "QuorlAudio/models/FileDownloader.hpp"
#include "QuorlAudio/models/WritableFile.hpp"
#include "platform/net/Session.hpp"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

namespace quorl {

// Writes one transfer's body into a file as the session delivers it. The session calls it on the
// transfer's own thread while the caller waits and a cancellation may arrive from any thread, so the
// transfer state sits behind a lock; callbacks and the waiting caller never run under it.
class FileDownloader::StreamingDownloadDelegate final : public platform::net::DataDelegate {
public:
    // `sizeLimit` is the most bytes the file may hold (-1: no limit).
    StreamingDownloadDelegate(std::filesystem::path destination, std::int64_t resumeOffset, std::int64_t sizeLimit,
                              ProgressCallback onProgress, ResponseCallback onResponse);

    // Keeps the running transfer so that cancel() can stop it.
    void record(std::shared_ptr<platform::net::DataTask> task);
    void cancel();
    // Blocks until the transfer has ended; returns its response or throws its error.
    platform::net::Response wait();

    platform::net::ResponseDisposition didReceiveResponse(platform::net::DataTask& task,
                                                          const platform::net::Response& response) override;
    void didReceiveData(platform::net::DataTask& task, std::span<const std::uint8_t> bytes) override;
    void didComplete(platform::net::DataTask& task, std::exception_ptr error) override;

private:
    struct State {
        std::shared_ptr<platform::net::DataTask> task;
        // Open only after a 2xx response head.
        std::unique_ptr<WritableFile> handle;
        std::int64_t bytesWritten = 0;
        std::int64_t expectedTotal = -1;
        // The first failure to open, position or write the file; it wins over the cancellation it causes.
        std::exception_ptr writeError;
        bool finished = false;
    };

    // Opens the destination for a 2xx answer; returns the number of bytes the body continues from.
    std::int64_t prepareFile(const platform::net::Response& response, WritableFile& file) const;
    // Writes what fits under the size limit; a body that goes past it fails the transfer. Under the lock.
    void writeWithinLimit(std::span<const std::uint8_t> bytes);

    const std::filesystem::path destination_;
    const std::int64_t resumeOffset_;
    const std::int64_t sizeLimit_;
    const ProgressCallback onProgress_;
    const ResponseCallback onResponse_;

    std::mutex mutex_;
    State state_;
    std::promise<platform::net::Response> outcome_;
    std::future<platform::net::Response> outcomeFuture_ = outcome_.get_future();
};

} // namespace quorl
