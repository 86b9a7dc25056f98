#include "QuorlAudio/models/StreamingDownloadDelegate.hpp"

#include "QuorlAudio/models/DownloadError.hpp"
#include "platform/core/SaturatingAdd.hpp"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

namespace quorl {
namespace {

using platform::net::ResponseDisposition;

std::optional<std::int64_t> parseInteger(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

struct ContentRange {
    std::int64_t first;
    std::int64_t last;
    // None for "*".
    std::optional<std::int64_t> total;
};

// "bytes <first>-<last>/<total>" with first <= last < total, the total possibly "*"; none otherwise.
std::optional<ContentRange> parseContentRange(std::string_view value) {
    constexpr std::string_view unit = "bytes ";
    const auto dash = value.find('-');
    const auto slash = value.find('/');
    if (!value.starts_with(unit) || dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
        return std::nullopt;
    }
    const auto first = parseInteger(value.substr(unit.size(), dash - unit.size()));
    const auto last = parseInteger(value.substr(dash + 1, slash - dash - 1));
    const auto totalText = value.substr(slash + 1);
    const auto total = totalText == "*" ? std::nullopt : parseInteger(totalText);
    if (!first || !last || *first < 0 || *last < *first || (totalText != "*" && (!total || *total <= *last))) {
        return std::nullopt;
    }
    return ContentRange{.first = *first, .last = *last, .total = total};
}

// Whether a 206 continues the file exactly where it stops, as one well-formed range whose stated length
// (when there is one) matches it.
bool continuesAt(const platform::net::Response& response, std::int64_t resumeOffset) {
    const auto value = response.headers.value("Content-Range");
    const auto range = value ? parseContentRange(*value) : std::nullopt;
    if (!range || range->first != resumeOffset) {
        return false;
    }
    const std::int64_t length = response.expectedContentLength();
    return length < 0 || length == range->last - range->first + 1;
}

// The last non-empty piece after "/" of the "Content-Range" value, else base plus the content length.
std::int64_t expectedTotal(const platform::net::Response& response, std::int64_t base) {
    if (const auto contentRange = response.headers.value("Content-Range")) {
        std::string_view value(*contentRange);
        while (value.ends_with('/')) {
            value.remove_suffix(1);
        }
        const auto slash = value.rfind('/');
        if (const auto total = parseInteger(slash == std::string_view::npos ? value : value.substr(slash + 1))) {
            return *total;
        }
    }
    const std::int64_t length = response.expectedContentLength();
    return length >= 0 ? platform::core::saturatingAdd(base, length) : -1;
}

std::string overflowReason(std::int64_t sizeLimit) {
    return "body longer than the listed size of " + std::to_string(sizeLimit) + " bytes";
}

std::string misplacedRangeReason(std::int64_t resumeOffset, const std::optional<std::string>& contentRange) {
    std::string reason = "server resumed at the wrong byte (requested ";
    reason.append(std::to_string(resumeOffset)).append(", got ");
    if (contentRange) {
        reason.append("Content-Range: ").append(*contentRange);
    } else {
        reason.append("no Content-Range");
    }
    reason.append(")");
    return reason;
}

} // namespace

FileDownloader::StreamingDownloadDelegate::StreamingDownloadDelegate(std::filesystem::path destination,
                                                                     std::int64_t resumeOffset, std::int64_t sizeLimit,
                                                                     ProgressCallback onProgress,
                                                                     ResponseCallback onResponse)
    : destination_(std::move(destination)), resumeOffset_(resumeOffset), sizeLimit_(sizeLimit),
      onProgress_(std::move(onProgress)), onResponse_(std::move(onResponse)) {}

void FileDownloader::StreamingDownloadDelegate::record(std::shared_ptr<platform::net::DataTask> task) {
    std::lock_guard lock(mutex_);
    state_.task = std::move(task);
}

void FileDownloader::StreamingDownloadDelegate::cancel() {
    std::shared_ptr<platform::net::DataTask> task;
    {
        std::lock_guard lock(mutex_);
        task = state_.task;
    }
    if (task) {
        task->cancel();
    }
}

platform::net::Response FileDownloader::StreamingDownloadDelegate::wait() { return outcomeFuture_.get(); }

ResponseDisposition
FileDownloader::StreamingDownloadDelegate::didReceiveResponse(platform::net::DataTask&,
                                                              const platform::net::Response& response) {
    try {
        // The caller may refuse the answer by throwing; nothing is written then.
        if (onResponse_) {
            onResponse_(response);
        }
        if (response.statusCode < 200 || response.statusCode > 299) {
            // The body is not written; the caller judges the status once the transfer has ended.
            return ResponseDisposition::allow;
        }
        auto file = std::make_unique<WritableFile>(destination_);
        const std::int64_t base = prepareFile(response, *file);
        std::lock_guard lock(mutex_);
        state_.handle = std::move(file);
        state_.bytesWritten = base;
        state_.expectedTotal = expectedTotal(response, base);
        return ResponseDisposition::allow;
    } catch (...) {
        std::lock_guard lock(mutex_);
        state_.writeError = std::current_exception();
        return ResponseDisposition::cancel;
    }
}

std::int64_t FileDownloader::StreamingDownloadDelegate::prepareFile(const platform::net::Response& response,
                                                                    WritableFile& file) const {
    if (response.statusCode != 206) {
        file.truncate();
        return 0;
    }
    if (!continuesAt(response, resumeOffset_)) {
        // Appending bytes from another offset would corrupt the file; emptying it makes the next attempt
        // start from the first byte.
        file.truncate();
        throw DownloadError::invalidArtifact(
            destination_.string(), misplacedRangeReason(resumeOffset_, response.headers.value("Content-Range")));
    }
    file.seekToEnd();
    return resumeOffset_;
}

void FileDownloader::StreamingDownloadDelegate::didReceiveData(platform::net::DataTask& task,
                                                               std::span<const std::uint8_t> bytes) {
    std::optional<std::pair<std::int64_t, std::int64_t>> progress;
    bool failed = false;
    {
        std::lock_guard lock(mutex_);
        if (state_.handle && !state_.writeError) {
            try {
                writeWithinLimit(bytes);
                progress.emplace(state_.bytesWritten, state_.expectedTotal);
            } catch (...) {
                state_.writeError = std::current_exception();
            }
        }
        failed = state_.writeError != nullptr;
    }
    if (progress && onProgress_) {
        onProgress_(progress->first, progress->second);
    } else if (failed) {
        task.cancel();
    }
}

void FileDownloader::StreamingDownloadDelegate::writeWithinLimit(std::span<const std::uint8_t> bytes) {
    const auto count = static_cast<std::int64_t>(bytes.size());
    const bool overflows = sizeLimit_ >= 0 && count > sizeLimit_ - state_.bytesWritten;
    const auto written =
        overflows ? bytes.first(static_cast<std::size_t>(std::max<std::int64_t>(0, sizeLimit_ - state_.bytesWritten)))
                  : bytes;
    state_.handle->write(written);
    state_.bytesWritten += static_cast<std::int64_t>(written.size());
    if (overflows) {
        throw DownloadError::invalidArtifact(destination_.string(), overflowReason(sizeLimit_));
    }
}

void FileDownloader::StreamingDownloadDelegate::didComplete(platform::net::DataTask& task, std::exception_ptr error) {
    const auto response = task.response();
    std::exception_ptr writeError;
    {
        std::lock_guard lock(mutex_);
        if (state_.finished) {
            return;
        }
        state_.finished = true;
        state_.task.reset();
        state_.handle.reset();
        writeError = state_.writeError;
    }
    if (writeError) {
        outcome_.set_exception(writeError);
    } else if (error) {
        outcome_.set_exception(error);
    } else if (response) {
        outcome_.set_value(*response);
    } else {
        outcome_.set_exception(std::make_exception_ptr(DownloadError::invalidResponse()));
    }
}

} // namespace quorl
