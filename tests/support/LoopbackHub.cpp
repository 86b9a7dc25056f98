#include "tests/support/LoopbackHub.hpp"

#include "platform/core/AsciiCase.hpp"
#include "tests/support/HttpListener.hpp"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

constexpr std::string_view apiPrefix = "/api/models/";
constexpr std::string_view treeMarker = "/tree/main";
constexpr std::string_view resolveMarker = "/resolve/main/";

struct Answer {
    int status = 200;
    LoopbackHub::Headers headers;
    std::string body;
    std::string contentType = "application/json";
};

Answer plainAnswer(int status, std::string body) {
    return Answer{.status = status, .headers = {}, .body = std::move(body), .contentType = "text/plain"};
}

std::optional<std::size_t> parseCount(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "owner/name" and what follows it in `rest`.
std::optional<std::pair<std::string, std::string_view>> splitRepository(std::string_view rest) {
    const auto ownerEnd = rest.find('/');
    if (ownerEnd == std::string_view::npos) {
        return std::nullopt;
    }
    const auto nameEnd = rest.find('/', ownerEnd + 1);
    if (nameEnd == std::string_view::npos) {
        return std::pair{std::string(rest), std::string_view()};
    }
    return std::pair{std::string(rest.substr(0, nameEnd)), rest.substr(nameEnd)};
}

struct ByteRange {
    std::size_t first;
    std::optional<std::size_t> last;
};

// "bytes=<first>-" or "bytes=<first>-<last>"; other forms are ignored as a server may.
std::optional<ByteRange> parseRange(std::string_view value) {
    constexpr std::string_view unit = "bytes=";
    if (!value.starts_with(unit)) {
        return std::nullopt;
    }
    value.remove_prefix(unit.size());
    const auto dash = value.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto first = parseCount(value.substr(0, dash));
    if (!first) {
        return std::nullopt;
    }
    const auto lastText = value.substr(dash + 1);
    if (lastText.empty()) {
        return ByteRange{.first = *first, .last = std::nullopt};
    }
    const auto last = parseCount(lastText);
    if (!last || *last < *first) {
        return std::nullopt;
    }
    return ByteRange{.first = *first, .last = last};
}

std::string contentRange(std::size_t first, std::size_t last, std::size_t size) {
    return "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size);
}

} // namespace

class LoopbackHub::Server {
public:
    Server() {
        http_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
            // The server library would slice bodies by "Range" on its own; this hub decides ranges itself.
            const_cast<httplib::Request&>(request).ranges.clear();
            handle(request, response);
            return httplib::Server::HandlerResponse::Handled;
        });
        listener_.emplace(http_);
        port = listener_->port();
    }

    ~Server() {
        stopping = true;
        listener_.reset();
    }

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port); }

    struct PathFault {
        Fault fault;
        std::size_t remaining;
    };

    int port = 0;
    std::atomic<bool> stopping = false;
    mutable std::mutex mutex;
    std::map<std::string, std::map<std::string, File>> repositories;
    std::size_t pageSize = std::numeric_limits<std::size_t>::max();
    bool relativeLinks = false;
    struct Listed {
        std::optional<std::int64_t> size;
        std::optional<std::string> sha256;
    };
    // By repository, then path.
    std::map<std::string, std::map<std::string, Listed>> listed;
    bool endlessPagination = false;
    bool honourIfRange = true;
    std::map<std::string, std::deque<PathFault>> pathFaults;
    std::map<std::size_t, Fault> requestFaults;
    std::vector<RecordedRequest> recorded;

private:
    void handle(const httplib::Request& request, httplib::Response& response) {
        const std::optional<Fault> fault = record(request);
        if (fault && fault->status != 0) {
            response.status = fault->status;
            for (const auto& [name, value] : fault->headers) {
                response.set_header(name, value);
            }
            response.set_content(fault->body, fault->contentType);
            return;
        }
        const Answer answer = normalAnswer(request);
        response.status = answer.status;
        for (const auto& [name, value] : answer.headers) {
            response.set_header(name, value);
        }
        if (fault && (fault->dropAfterBytes || fault->stallAfterBytes)) {
            serveCutShort(answer, *fault, response);
        } else {
            response.set_content(answer.body, answer.contentType);
        }
    }

    // Keeps the request and takes the fault scripted for it, if any.
    std::optional<Fault> record(const httplib::Request& request) {
        RecordedRequest entry{.method = request.method, .path = request.path, .target = request.target, .headers = {}};
        static const std::set<std::string> pseudoHeaders = {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"};
        for (const auto& [name, value] : request.headers) {
            if (!pseudoHeaders.contains(name)) {
                entry.headers.emplace_back(name, value);
            }
        }
        std::lock_guard lock(mutex);
        recorded.push_back(std::move(entry));
        if (const auto scripted = requestFaults.find(recorded.size()); scripted != requestFaults.end()) {
            return scripted->second;
        }
        auto queue = pathFaults.find(request.path);
        if (queue == pathFaults.end() || queue->second.empty()) {
            return std::nullopt;
        }
        const Fault fault = queue->second.front().fault;
        if (--queue->second.front().remaining == 0) {
            queue->second.pop_front();
        }
        return fault;
    }

    Answer normalAnswer(const httplib::Request& request) {
        if (request.method != "GET") {
            return plainAnswer(405, "Method not allowed");
        }
        std::string_view path(request.path);
        if (path.starts_with(apiPrefix)) {
            return listing(request, path.substr(apiPrefix.size()));
        }
        const auto repository = splitRepository(path.substr(1));
        if (repository && repository->second.starts_with(resolveMarker)) {
            return file(request, repository->first, std::string(repository->second.substr(resolveMarker.size())));
        }
        return plainAnswer(404, "Not found");
    }

    Answer listing(const httplib::Request& request, std::string_view rest) {
        const auto repository = splitRepository(rest);
        if (!repository || !repository->second.starts_with(treeMarker)) {
            return plainAnswer(404, "Not found");
        }
        std::string_view folderText = repository->second.substr(treeMarker.size());
        if (!folderText.empty() && !folderText.starts_with('/')) {
            return plainAnswer(404, "Not found");
        }
        const std::string folder(folderText.empty() ? folderText : folderText.substr(1));
        std::lock_guard lock(mutex);
        const auto files = repositories.find(repository->first);
        if (files == repositories.end()) {
            return Answer{.status = 404,
                          .headers = {},
                          .body = R"({"error":"Repository not found"})",
                          .contentType = "application/json"};
        }
        const auto entries = children(files->second, listed[repository->first], folder);
        if (entries.empty() && !folder.empty()) {
            return Answer{.status = 404,
                          .headers = {},
                          .body = R"({"error":"Entry not found"})",
                          .contentType = "application/json"};
        }
        const std::size_t requested = parseCount(request.get_param_value("cursor")).value_or(0);
        const std::size_t start = std::min(requested, entries.size());
        const std::size_t end = start + std::min(pageSize, entries.size() - start);
        Answer answer{.status = 200, .headers = {}, .body = {}, .contentType = "application/json"};
        answer.body = nlohmann::json(std::vector(entries.begin() + static_cast<std::ptrdiff_t>(start),
                                                 entries.begin() + static_cast<std::ptrdiff_t>(end)))
                          .dump();
        if (end < entries.size() || endlessPagination) {
            const std::string targetPath = request.target.substr(0, request.target.find('?'));
            const std::size_t cursor = endlessPagination ? std::max(end, requested + 1) : end;
            const std::string next =
                (relativeLinks ? "" : baseURL()) + targetPath + "?cursor=" + std::to_string(cursor);
            answer.headers.emplace_back("Link", "<" + next + ">; rel=\"next\"");
        }
        return answer;
    }

    // The entries directly inside `folder` in path order: its files with their sizes and its sub-folders.
    static std::vector<nlohmann::json> children(const std::map<std::string, File>& files,
                                                const std::map<std::string, Listed>& listed,
                                                const std::string& folder) {
        const std::string prefix = folder.empty() ? "" : folder + "/";
        std::map<std::string, nlohmann::json> entries;
        for (const auto& [path, file] : files) {
            if (!path.starts_with(prefix)) {
                continue;
            }
            const auto slash = path.find('/', prefix.size());
            if (slash == std::string::npos) {
                const auto stated = listed.find(path);
                entries[path] = fileEntry(path, file, stated == listed.end() ? Listed{} : stated->second);
            } else {
                const std::string directory = path.substr(0, slash);
                entries[directory] = {{"type", "directory"}, {"path", directory}};
            }
        }
        std::vector<nlohmann::json> list;
        for (auto& [path, entry] : entries) {
            list.push_back(std::move(entry));
        }
        return list;
    }

    static nlohmann::json fileEntry(const std::string& path, const File& file, const Listed& stated) {
        nlohmann::json entry = {{"type", "file"}, {"path", path}};
        if (stated.size) {
            entry["size"] = *stated.size;
        } else {
            entry["size"] = file.content.size();
        }
        if (stated.sha256) {
            entry["lfs"] = {{"oid", *stated.sha256}, {"size", entry["size"]}};
        }
        return entry;
    }

    Answer file(const httplib::Request& request, const std::string& repository, const std::string& path) {
        std::lock_guard lock(mutex);
        const auto files = repositories.find(repository);
        const auto found = files == repositories.end() ? nullptr : &files->second;
        if (!found || !found->contains(path)) {
            return plainAnswer(404, "Entry not found");
        }
        const File& file = found->at(path);
        Answer answer{.status = 200,
                      .headers = {{"Accept-Ranges", "bytes"}},
                      .body = file.content,
                      .contentType = file.contentType};
        if (file.etag) {
            answer.headers.emplace_back("ETag", *file.etag);
        }
        if (file.lastModified) {
            answer.headers.emplace_back("Last-Modified", *file.lastModified);
        }
        const auto range = parseRange(request.get_header_value("Range"));
        if (range && (!honourIfRange || validatorMatches(request, file))) {
            applyRange(*range, answer);
        }
        return answer;
    }

    // Without "If-Range" a range always applies; with it, only while the file is the one the client has.
    static bool validatorMatches(const httplib::Request& request, const File& file) {
        if (!request.has_header("If-Range")) {
            return true;
        }
        const std::string validator = request.get_header_value("If-Range");
        return validator == file.etag || validator == file.lastModified;
    }

    static void applyRange(const ByteRange& range, Answer& answer) {
        const std::size_t size = answer.body.size();
        if (range.first >= size) {
            answer.status = 416;
            answer.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
            answer.body.clear();
            return;
        }
        const std::size_t last = std::min(range.last.value_or(size - 1), size - 1);
        answer.status = 206;
        answer.headers.emplace_back("Content-Range", contentRange(range.first, last, size));
        answer.body = answer.body.substr(range.first, last - range.first + 1);
    }

    void serveCutShort(const Answer& answer, const Fault& fault, httplib::Response& response) {
        auto body = std::make_shared<std::string>(answer.body);
        const std::size_t limit =
            std::min(fault.dropAfterBytes.value_or(body->size()), fault.stallAfterBytes.value_or(body->size()));
        const bool stall = fault.stallAfterBytes.has_value();
        auto provide = [this, body, limit, stall](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (offset < limit) {
                return sink.write(body->data() + offset, std::min(length, limit - offset));
            }
            while (stall && !stopping && sink.is_writable()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return false;
        };
        if (fault.withoutLength) {
            // Without a length the body ends where the connection closes.
            response.set_header("Connection", "close");
            response.set_content_provider(
                answer.contentType, [provide, body](std::size_t offset, httplib::DataSink& sink) {
                    return provide(offset, body->size() - std::min(offset, body->size()), sink);
                });
        } else {
            response.set_content_provider(body->size(), answer.contentType, provide);
        }
    }

    httplib::Server http_;
    std::optional<HttpListener> listener_;
};

LoopbackHub::Fault LoopbackHub::Fault::answer(int status, std::string body, Headers headers) {
    Fault fault;
    fault.status = status;
    fault.body = std::move(body);
    fault.headers = std::move(headers);
    return fault;
}

LoopbackHub::Fault LoopbackHub::Fault::html(int status) {
    Fault fault = answer(status, "<!DOCTYPE html>\n<html><body><h1>Something went wrong</h1></body></html>\n");
    fault.contentType = "text/html; charset=utf-8";
    return fault;
}

LoopbackHub::Fault LoopbackHub::Fault::redirect(const std::string& location, int status) {
    return answer(status, {}, {{"Location", location}});
}

LoopbackHub::Fault LoopbackHub::Fault::dropAfter(std::size_t bytes) {
    Fault fault;
    fault.dropAfterBytes = bytes;
    return fault;
}

LoopbackHub::Fault LoopbackHub::Fault::dropWithoutLengthAfter(std::size_t bytes) {
    Fault fault = dropAfter(bytes);
    fault.withoutLength = true;
    return fault;
}

LoopbackHub::Fault LoopbackHub::Fault::stallAfter(std::size_t bytes) {
    Fault fault;
    fault.stallAfterBytes = bytes;
    return fault;
}

std::optional<std::string> LoopbackHub::RecordedRequest::header(const std::string& name) const {
    for (const auto& [field, value] : headers) {
        if (platform::core::equalIgnoringAsciiCase(field, name)) {
            return value;
        }
    }
    return std::nullopt;
}

LoopbackHub::LoopbackHub() : server_(std::make_unique<Server>()) {}

LoopbackHub::~LoopbackHub() = default;

std::string LoopbackHub::baseURL() const { return server_->baseURL(); }

int LoopbackHub::port() const { return server_->port; }

std::string LoopbackHub::treePath(const std::string& repo, const std::string& folder) {
    return std::string(apiPrefix) + repo + std::string(treeMarker) + (folder.empty() ? "" : "/" + folder);
}

std::string LoopbackHub::filePath(const std::string& repo, const std::string& path) {
    return "/" + repo + std::string(resolveMarker) + path;
}

void LoopbackHub::putFile(const std::string& repo, const std::string& path, File file) {
    std::lock_guard lock(server_->mutex);
    server_->repositories[repo][path] = std::move(file);
}

void LoopbackHub::putFile(const std::string& repo, const std::string& path, const std::string& content) {
    char etag[32];
    std::snprintf(etag, sizeof etag, "\"%016zx\"", std::hash<std::string>{}(content));
    putFile(
        repo, path,
        File{
            .content = content, .etag = etag, .lastModified = std::nullopt, .contentType = "application/octet-stream"});
}

void LoopbackHub::setPageSize(std::size_t entries) {
    std::lock_guard lock(server_->mutex);
    server_->pageSize = entries;
}

void LoopbackHub::setRelativeLinks(bool relative) {
    std::lock_guard lock(server_->mutex);
    server_->relativeLinks = relative;
}

void LoopbackHub::setListedSize(const std::string& repo, const std::string& path, std::int64_t size) {
    std::lock_guard lock(server_->mutex);
    server_->listed[repo][path].size = size;
}

void LoopbackHub::setListedSha256(const std::string& repo, const std::string& path, const std::string& sha256) {
    std::lock_guard lock(server_->mutex);
    server_->listed[repo][path].sha256 = sha256;
}

void LoopbackHub::setEndlessPagination(bool endless) {
    std::lock_guard lock(server_->mutex);
    server_->endlessPagination = endless;
}

void LoopbackHub::setHonourIfRange(bool honour) {
    std::lock_guard lock(server_->mutex);
    server_->honourIfRange = honour;
}

void LoopbackHub::failPath(const std::string& path, Fault fault, std::size_t times) {
    if (times == 0) {
        return;
    }
    std::lock_guard lock(server_->mutex);
    server_->pathFaults[path].push_back(Server::PathFault{.fault = std::move(fault), .remaining = times});
}

void LoopbackHub::failRequest(std::size_t number, Fault fault) {
    std::lock_guard lock(server_->mutex);
    server_->requestFaults.insert_or_assign(number, std::move(fault));
}

std::vector<LoopbackHub::RecordedRequest> LoopbackHub::requests() const {
    std::lock_guard lock(server_->mutex);
    return server_->recorded;
}

std::vector<LoopbackHub::RecordedRequest> LoopbackHub::requestsFor(const std::string& path) const {
    std::vector<RecordedRequest> matching;
    for (auto& request : requests()) {
        if (request.path == path) {
            matching.push_back(std::move(request));
        }
    }
    return matching;
}

} // namespace testsupport
