#include "QuorlAudio/models/FileDownloader.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/DownloadLogger.hpp"
#include "QuorlAudio/models/FileDigest.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/HubStatus.hpp"
#include "QuorlAudio/models/ModelCache.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "QuorlAudio/models/SessionLease.hpp"
#include "QuorlAudio/models/StreamingDownloadDelegate.hpp"
#include "QuorlAudio/models/WritableFile.hpp"
#include "platform/core/AsciiCase.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"
#include "platform/core/UUID.hpp"
#include "platform/sys/AtomicWrite.hpp"
#include "platform/sys/FileRemoval.hpp"
#include "platform/sys/UserFolders.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <string_view>
#include <system_error>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::net::Request;
using platform::net::Response;

constexpr int fileAttempts = 4;
constexpr double fileMinBackoff = 1.0;
constexpr std::size_t sniffedBytes = 512;

// The path with a further extension: "model.bin" and "partial" give "model.bin.partial".
fs::path appendingExtension(const fs::path& path, std::string_view extension) {
    fs::path result = path;
    result += ".";
    result += std::string(extension);
    return result;
}

fs::path validatorFileOf(const fs::path& partialFile) { return appendingExtension(partialFile, "etag"); }

std::int64_t fileSize(const fs::path& at) {
    std::error_code unreadable;
    const auto size = fs::file_size(at, unreadable);
    return unreadable ? 0 : static_cast<std::int64_t>(size);
}

void clearPartialDownload(const fs::path& partialFile) {
    platform::sys::removeIgnoringFailure(partialFile);
    platform::sys::removeIgnoringFailure(validatorFileOf(partialFile));
}

bool isSuccess(int statusCode) { return statusCode >= 200 && statusCode <= 299; }

// The lower-cased "Content-Type" of an answer that announces an HTML page.
std::optional<std::string> htmlContentType(const Response& response) {
    const auto type = response.headers.value("Content-Type");
    if (!type) {
        return std::nullopt;
    }
    std::string lowered = platform::core::asciiLowercased(*type);
    return lowered.find("text/html") == std::string::npos ? std::nullopt : std::optional(std::move(lowered));
}

// The validator of the server's copy: a strong ETag, else the Last-Modified date, exactly as sent.
std::optional<std::string> resumeValidator(const Response& response) {
    if (auto etag = response.headers.value("ETag"); etag && !etag->starts_with("W/")) {
        return etag;
    }
    return response.headers.value("Last-Modified");
}

// The validator file's text, trimmed; none when it cannot be read as UTF-8 (typically: it does not exist).
std::optional<std::string> storedValidator(const fs::path& validatorFile) {
    std::ifstream stream(validatorFile, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    const std::string bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    if (stream.bad()) {
        return std::nullopt;
    }
    const auto text = platform::text::decodeScalarsStrictly(bytes);
    if (!text) {
        return std::nullopt;
    }
    return platform::text::encodeScalars(platform::text::trimmingWhiteSpaceAndLineBreaks(*text));
}

// Keeps the validator file in step with the bytes a 2xx answer writes from the start; a 206 continues
// the copy the validator already names.
void recordValidator(const Response& response, const fs::path& validatorFile) {
    if (response.statusCode == 206 || !isSuccess(response.statusCode)) {
        return;
    }
    const auto validator = resumeValidator(response);
    if (!validator) {
        platform::sys::removeIgnoringFailure(validatorFile);
        return;
    }
    try {
        // Written beside the file and renamed over it, so a reader never sees half a validator.
        platform::sys::writeAtomically({reinterpret_cast<const std::uint8_t*>(validator->data()), validator->size()},
                                       validatorFile);
    } catch (...) {
        // Without a validator the next attempt starts afresh, which is safe.
    }
}

// Whether the destination holds the file: anything there counts, except a regular file whose size is not the
// listed one, which a cut or damaged copy would leave and which is removed so that it is fetched again.
bool isPresent(const RemoteFile& file, const fs::path& at) {
    std::error_code unreadable;
    if (!fs::exists(at, unreadable)) {
        return false;
    }
    if (file.size < 0 || !fs::is_regular_file(at, unreadable) || fileSize(at) == file.size) {
        return true;
    }
    downloadLogger().warning(
        platform::core::concatenated({"Fetching ", file.path, " again: ", std::to_string(fileSize(at)),
                                      " bytes on disk, ", std::to_string(file.size), " listed"}));
    platform::sys::removeIgnoringFailure(at);
    return false;
}

// A listed size beyond what the cache's file system can still take is refused before any byte is fetched,
// so that a listing that lies cannot fill the disk.
void checkRoomFor(const RemoteFile& file, const fs::path& partialFile) {
    std::error_code unknown;
    const auto space = fs::space(partialFile.parent_path(), unknown);
    if (unknown || file.size < 0) {
        return;
    }
    const auto available = std::min<std::uintmax_t>(space.available, std::numeric_limits<std::int64_t>::max());
    const std::int64_t needed = file.size - fileSize(partialFile);
    if (needed > static_cast<std::int64_t>(available)) {
        throw DownloadError::invalidArtifact(
            file.path,
            platform::core::concatenated({"listed size of ", std::to_string(file.size), " bytes exceeds the ",
                                          std::to_string(available), " bytes free in the cache"}));
    }
}

// Everything one retried transfer needs, shared by its attempts.
struct TransferPlan {
    const Request& request;
    const std::string& path;
    std::int64_t expectedSize;
    const std::optional<std::string>& expectedSha256;
    fs::path partialFile;
    const FileDownloader::ProgressCallback& onProgress;
    platform::net::SessionConfiguration configuration;
    const OfflineSwitch& offline;
};

// The listed content hash, when there is one, must be the file's.
void checkContentHash(const TransferPlan& plan) {
    if (!plan.expectedSha256) {
        return;
    }
    const auto actual = sha256OfFile(plan.partialFile);
    if (actual != plan.expectedSha256) {
        throw DownloadError::invalidArtifact(
            plan.path, platform::core::concatenated({"SHA-256 mismatch (expected ", *plan.expectedSha256, ", got ",
                                                     actual.value_or("unreadable"), ")"}));
    }
}

// Where the transfer starts, with "Range" and "If-Range" set on `request` when it continues the partial
// file; bytes that cannot be continued are discarded. None when the partial file already holds the
// whole, valid file.
std::optional<std::int64_t> resumePoint(const TransferPlan& plan, int attempt, Request& request) {
    const std::int64_t size = fileSize(plan.partialFile);
    const auto validator = storedValidator(validatorFileOf(plan.partialFile));
    if (!validator) {
        if (size >= 1) {
            clearPartialDownload(plan.partialFile);
        }
        return 0;
    }
    if (size == 0) {
        return 0;
    }
    if (validator->empty()) {
        clearPartialDownload(plan.partialFile);
        return 0;
    }
    if (plan.expectedSize < 1 || size < plan.expectedSize) {
        request.headers.set("Range", platform::core::concatenated({"bytes=", std::to_string(size), "-"}));
        request.headers.set("If-Range", *validator);
        downloadLogger().info(platform::core::concatenated(
            {"Resuming ", plan.path, " from byte ", std::to_string(size), " (attempt ", std::to_string(attempt), ")"}));
        return size;
    }
    try {
        FileDownloader::validateDownloadedArtifact(plan.partialFile, std::nullopt, plan.path, plan.expectedSize);
        checkContentHash(plan);
    } catch (const DownloadError&) {
        clearPartialDownload(plan.partialFile);
        return 0;
    }
    platform::sys::removeIgnoringFailure(validatorFileOf(plan.partialFile));
    return std::nullopt;
}

// A 206 must continue the very copy the partial file holds: the same validator and the listed size. Another
// copy spliced after the first bytes would give a file that is neither.
void checkResumedAnswer(const TransferPlan& plan, const std::string& validator, const Response& head) {
    if (head.statusCode != 206) {
        return;
    }
    if (resumeValidator(head) != validator) {
        throw DownloadError::invalidArtifact(plan.path, "server resumed another version of the file");
    }
    const auto contentRange = head.headers.value("Content-Range");
    const auto slash = contentRange ? contentRange->rfind('/') : std::string::npos;
    const std::string total = slash == std::string::npos ? "" : contentRange->substr(slash + 1);
    if (plan.expectedSize >= 1 && total != std::to_string(plan.expectedSize)) {
        throw DownloadError::invalidArtifact(plan.path, "server resumed a file of another size");
    }
}

// A body that ended before the listed size without the answer stating its length was cut, not complete:
// the bytes stay for the next attempt to continue.
void checkNotCutShort(const TransferPlan& plan, const Response& response) {
    const std::int64_t size = fileSize(plan.partialFile);
    if (plan.expectedSize >= 1 && size < plan.expectedSize && response.expectedContentLength() < 0) {
        throw DownloadError::invalidArtifact(
            plan.path, platform::core::concatenated({"transfer ended at byte ", std::to_string(size), " of ",
                                                     std::to_string(plan.expectedSize)}));
    }
}

// The partial file once the answer is judged: a failing status throws, a 2xx body must pass the checks.
fs::path finishTransfer(const TransferPlan& plan, const Response& response) {
    if (response.statusCode == 416) {
        clearPartialDownload(plan.partialFile);
        throw DownloadError::invalidArtifact(plan.path, "server rejected resume range (416)");
    }
    checkHubStatus(response, "downloading " + plan.path, plan.path);
    checkNotCutShort(plan, response);
    try {
        FileDownloader::validateDownloadedArtifact(plan.partialFile, response, plan.path, plan.expectedSize);
        checkContentHash(plan);
    } catch (...) {
        clearPartialDownload(plan.partialFile);
        throw;
    }
    platform::sys::removeIgnoringFailure(validatorFileOf(plan.partialFile));
    return plan.partialFile;
}

// One transfer into the partial file, never past the listed size.
Response transfer(const TransferPlan& plan, const Request& request, std::int64_t offset,
                  const FileDownloader::ResponseCallback& onResponse) {
    try {
        return FileDownloader::streamDownload(request, plan.partialFile, offset, plan.configuration, plan.onProgress,
                                              onResponse, plan.expectedSize >= 1 ? plan.expectedSize : -1);
    } catch (const DownloadError& error) {
        // A refused resumption or a body past the listed size leaves bytes that no later attempt may continue.
        if (error.kind() == DownloadError::Kind::invalidArtifact) {
            clearPartialDownload(plan.partialFile);
        }
        throw;
    }
}

fs::path attemptTransfer(const TransferPlan& plan, int attempt) {
    plan.offline.refuseWhileOn(platform::core::concatenated({"download(", plan.path, ")"}));
    Request request = plan.request;
    const auto offset = resumePoint(plan, attempt, request);
    if (!offset) {
        return plan.partialFile;
    }
    const fs::path validatorFile = validatorFileOf(plan.partialFile);
    const std::string validator = request.headers.value("If-Range").value_or("");
    const auto onResponse = [&](const Response& head) {
        checkResumedAnswer(plan, validator, head);
        recordValidator(head, validatorFile);
    };
    return finishTransfer(plan, transfer(plan, request, *offset, onResponse));
}

std::vector<std::uint8_t> attemptFetch(const Request& request, const std::string& description,
                                       platform::net::Session& session, const OfflineSwitch& offline) {
    offline.refuseWhileOn(platform::core::concatenated({"fetchFile(", description, ")"}));
    auto [body, response] = session.data(request);
    checkHubStatus(response, "fetching " + description, description);
    if (const auto type = htmlContentType(response)) {
        throw DownloadError::invalidArtifact(description, "server returned Content-Type: " + *type);
    }
    if (body.empty()) {
        throw DownloadError::invalidArtifact(description, "empty file");
    }
    if (HFClient::looksLikeHTML(body)) {
        throw DownloadError::invalidArtifact(description, "response body begins with HTML markup");
    }
    return std::move(body);
}

// The first bytes of a file; none when it cannot be opened.
std::optional<std::vector<std::uint8_t>> leadingBytes(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(sniffedBytes);
    stream.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(stream.gcount()));
    return bytes;
}

} // namespace

FileDownloader::Outcome FileDownloader::ensure(const Placement& placement, const HubAccess& access) {
    const auto& [file, from, at, recoveringBlockedPaths, configuration, onBytes] = placement;
    if (isPresent(file, at)) {
        return Outcome::alreadyPresent;
    }
    if (const fs::path folder = at.parent_path(); !folder.empty()) {
        if (recoveringBlockedPaths) {
            ModelCache::createDirectoryRobustly(folder, *recoveringBlockedPaths);
        } else {
            fs::create_directories(folder);
        }
    }
    if (file.size == 0) {
        const WritableFile emptyFile(at);
        return Outcome::createdEmpty;
    }
    checkRoomFor(file, appendingExtension(at, "partial"));
    const auto url = ModelRegistry::resolveModel(from, platform::net::percentEncodePath(file.path));
    const fs::path partialFile = download(Transfer{.request = HFClient::request(url),
                                                   .path = file.path,
                                                   .expectedSize = file.size,
                                                   .partialFile = appendingExtension(at, "partial"),
                                                   .onProgress = onBytes,
                                                   .maxAttempts = fileAttempts,
                                                   .minBackoff = fileMinBackoff,
                                                   .configuration = configuration,
                                                   .expectedSha256 = file.sha256},
                                          access);
    std::error_code unreadable;
    if (fs::exists(fs::symlink_status(at, unreadable))) {
        fs::remove_all(at, unreadable);
    }
    fs::rename(partialFile, at);
    return Outcome::downloaded;
}

fs::path FileDownloader::download(const Transfer& transfer, const HubAccess& access) {
    const TransferPlan plan{
        .request = transfer.request,
        .path = transfer.path,
        .expectedSize = transfer.expectedSize,
        .expectedSha256 = transfer.expectedSha256,
        .partialFile = transfer.partialFile.value_or(platform::sys::UserFolders::temporary() /
                                                     (platform::core::UUID::random().uuidString() + ".partial")),
        .onProgress = transfer.onProgress,
        .configuration = transfer.configuration.value_or(access.session->configuration()),
        .offline = access.offline,
    };
    return RetryPolicy::withRetry(
        transfer.path, transfer.maxAttempts, transfer.minBackoff, downloadLogger(),
        [&plan](int attempt) { return attemptTransfer(plan, attempt); }, access.sleeper);
}

std::vector<std::uint8_t>
FileDownloader::fetchData(const platform::net::Url& from, const std::string& description, int maxAttempts,
                          double minBackoff, const std::optional<platform::net::SessionConfiguration>& configuration,
                          const HubAccess& access) {
    access.offline.refuseWhileOn(platform::core::concatenated({"fetchFile(", description, ")"}));
    const Request request = HFClient::request(from);
    const SessionLease lease(configuration, access.session);
    return RetryPolicy::withRetry(
        description, maxAttempts, minBackoff, downloadLogger(),
        [&](int) { return attemptFetch(request, description, *lease.session(), access.offline); }, access.sleeper);
}

void FileDownloader::validateDownloadedArtifact(const fs::path& at, const std::optional<Response>& response,
                                                const std::string& path, std::int64_t expectedSize) {
    if (response) {
        if (const auto type = htmlContentType(*response)) {
            throw DownloadError::invalidArtifact(path, "server returned Content-Type: " + *type);
        }
    }
    const std::int64_t size = fileSize(at);
    if (size == 0) {
        throw DownloadError::invalidArtifact(path, "empty file");
    }
    if (const auto head = leadingBytes(at); head && HFClient::looksLikeHTML(*head)) {
        throw DownloadError::invalidArtifact(path, "response body begins with HTML markup");
    }
    if (expectedSize >= 1 && expectedSize != size) {
        throw DownloadError::invalidArtifact(
            path, platform::core::concatenated({"size mismatch (expected ", std::to_string(expectedSize),
                                                " bytes, got ", std::to_string(size), ")"}));
    }
}

platform::net::Response
FileDownloader::streamDownload(const platform::net::Request& request, const std::filesystem::path& destination,
                               std::int64_t resumeOffset, const platform::net::SessionConfiguration& configuration,
                               ProgressCallback onProgress, ResponseCallback onResponse, std::int64_t sizeLimit) {
    auto delegate = std::make_shared<StreamingDownloadDelegate>(destination, resumeOffset, sizeLimit,
                                                                std::move(onProgress), std::move(onResponse));
    // A session of its own per transfer, so the delegate serves exactly this one.
    const auto session = platform::net::Session::make(configuration);
    const auto task = session->dataTask(request, delegate);
    // The task is recorded before the cancellation callback is registered: a task already cancelled runs
    // the callback at registration, which then finds the task to stop, so no cancellation is lost.
    delegate->record(task);
    std::optional<platform::net::Response> response;
    std::exception_ptr failure;
    {
        const platform::core::CancellationCallback cancelTransfer(platform::core::Task::current().stopToken(),
                                                                  [&delegate] { delegate->cancel(); });
        task->resume();
        try {
            response = delegate->wait();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    session->finishTasksAndInvalidate();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return *response;
}

} // namespace quorl
