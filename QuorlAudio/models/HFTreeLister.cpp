#include "QuorlAudio/models/HFTreeLister.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/HubStatus.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "platform/core/SystemError.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <set>

namespace quorl {
namespace {

const AppLogger& logger() {
    static const AppLogger instance("HFTreeLister");
    return instance;
}

const std::string* stringField(const nlohmann::json& entry, const char* key) {
    const auto field = entry.find(key);
    return field != entry.end() && field->is_string() ? field->get_ptr<const std::string*>() : nullptr;
}

// The size of a file entry: an integer, or a number with an exact integer value; -1 for anything else.
std::int64_t entrySize(const nlohmann::json& entry) {
    const auto size = entry.find("size");
    if (size == entry.end()) {
        return -1;
    }
    if (size->is_number_integer() && !size->is_number_unsigned()) {
        return size->get<std::int64_t>();
    }
    if (size->is_number_unsigned()) {
        const auto value = size->get<std::uint64_t>();
        return value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? static_cast<std::int64_t>(value)
                   : -1;
    }
    if (size->is_number_float()) {
        const double value = size->get<double>();
        const bool exact = std::isfinite(value) && std::trunc(value) == value && std::abs(value) < 0x1p63;
        return exact ? static_cast<std::int64_t>(value) : -1;
    }
    return -1;
}

constexpr int fileAttempts = 4;
constexpr double fileMinBackoff = 1.0;

// What a rate limit of the listing says it was doing: "listing files", or "listing files in <folder>".
std::string listingActivity(const std::string& folder) {
    return folder.empty() ? "listing files" : "listing files in " + folder;
}

// A listing that would go on without end: a failed download of the folder's listing, not retried.
DownloadError listingTooLarge(const std::string& folder, const std::string& reason) {
    const std::string subject = "the listing of " + (folder.empty() ? std::string("the repository root") : folder);
    return DownloadError::downloadFailed(
        subject, std::make_exception_ptr(platform::core::SystemError("QuorlAudio.listing", 1, reason)));
}

// The large-file object's id, which the hub gives as the content's SHA-256 in hexadecimal.
std::optional<std::string> entrySha256(const nlohmann::json& entry) {
    const auto lfs = entry.find("lfs");
    if (lfs == entry.end() || !lfs->is_object()) {
        return std::nullopt;
    }
    const std::string* oid = stringField(*lfs, "oid");
    const bool isHash = oid && oid->size() == 64 && std::ranges::all_of(*oid, [](char c) {
                            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                        });
    return isHash ? std::optional(*oid) : std::nullopt;
}

std::string repeatedCursorWarning(const std::string& startingAt, const platform::net::Url& url, std::size_t pages) {
    std::string warning = "Pagination cursor for ";
    warning.append(startingAt.empty() ? "repo root" : startingAt).append(" repeats ").append(url.absoluteString());
    warning.append("; stopping after ").append(std::to_string(pages)).append(" page(s).");
    return warning;
}

nlohmann::json pageEntries(const std::vector<std::uint8_t>& body) {
    auto entries = nlohmann::json::parse(body.begin(), body.end());
    const auto isObject = [](const nlohmann::json& entry) { return entry.is_object(); };
    if (!entries.is_array() || !std::ranges::all_of(entries, isObject)) {
        throw DownloadError::invalidResponse();
    }
    return entries;
}

// Only a folder strictly below the one being listed is descended into: a broken hub that lists a folder
// inside itself, or a parent, would otherwise recurse without end.
bool isBelow(const std::string& path, const std::string& folder) {
    if (folder.empty()) {
        return !path.empty();
    }
    return path.size() > folder.size() + 1 && path.starts_with(folder) && path[folder.size()] == '/';
}

// The remaining entries of the page being read in one folder, and where its listing goes on.
struct FolderCursor {
    std::string folder;
    int depth;
    nlohmann::json entries = nlohmann::json::array();
    std::size_t nextEntry = 0;
    std::optional<platform::net::Url> nextPage;
    std::set<std::string> visited = {};
};

// Lists depth-first with a stack of folder cursors rather than by recursion, so that a hub whose folders
// nest without end costs a bounded amount of memory and fails with an error instead of exhausting the stack.
struct TreeWalk {
    const std::string& repoRemotePath;
    const HFTreeLister::IncludeRule& include;
    const HFTreeLister::Fetcher& fetch;
    platform::core::Sleeper& sleeper;
    std::vector<FolderCursor> stack = {};
    std::vector<RemoteFile> files = {};
    int pages = 0;

    std::vector<RemoteFile> run(const std::string& startingAt) {
        enter(startingAt, 0);
        while (!stack.empty()) {
            FolderCursor& cursor = stack.back();
            if (cursor.nextEntry < cursor.entries.size()) {
                visit(cursor.entries[cursor.nextEntry++], cursor);
            } else if (!readNextPage(cursor)) {
                stack.pop_back();
            }
        }
        return std::move(files);
    }

    void enter(const std::string& folder, int depth) {
        if (depth > HFTreeLister::maxDepth) {
            throw listingTooLarge(folder,
                                  "its folders nest deeper than " + std::to_string(HFTreeLister::maxDepth) + " levels");
        }
        const std::string pagePath = folder.empty() ? "tree/main" : "tree/main/" + folder;
        stack.push_back(FolderCursor{
            .folder = folder, .depth = depth, .nextPage = ModelRegistry::apiModels(repoRemotePath, pagePath)});
    }

    // Takes what it needs from the entry and the cursor before entering a folder, which grows the stack and
    // so moves the cursors.
    void visit(const nlohmann::json& entry, const FolderCursor& cursor) {
        const std::string* path = stringField(entry, "path");
        const std::string* type = stringField(entry, "type");
        if (!path || !type) {
            return;
        }
        if (*type == "directory" && isBelow(*path, cursor.folder) && include(*path, true)) {
            const std::string folder = *path;
            enter(folder, cursor.depth + 1);
        } else if (*type == "file" && include(*path, false)) {
            files.push_back(RemoteFile{.path = *path, .size = entrySize(entry), .sha256 = entrySha256(entry)});
        }
    }

    // Fetches the folder's next page into the cursor; false when the folder's listing has ended.
    bool readNextPage(FolderCursor& cursor) {
        if (!cursor.nextPage) {
            return false;
        }
        const platform::net::Url url = *cursor.nextPage;
        if (!cursor.visited.insert(url.absoluteString()).second) {
            logger().warning(repeatedCursorWarning(cursor.folder, url, cursor.visited.size()));
            return false;
        }
        if (++pages > HFTreeLister::maxPages) {
            throw listingTooLarge(cursor.folder,
                                  "it has more than " + std::to_string(HFTreeLister::maxPages) + " pages");
        }
        const auto [entries, next] = RetryPolicy::withRetry(
            url.path(), fileAttempts, fileMinBackoff, logger(), [&](int) { return fetchPage(url, cursor.folder); },
            sleeper);
        cursor.entries = entries;
        cursor.nextEntry = 0;
        cursor.nextPage = next;
        return true;
    }

    // One attempt at one page: its entries and the next page's address.
    std::pair<nlohmann::json, std::optional<platform::net::Url>> fetchPage(const platform::net::Url& url,
                                                                           const std::string& folder) const {
        const auto [body, response] = fetch(url);
        checkHubStatus(response, listingActivity(folder), url.path());
        HFClient::validateJSONResponse(body, folder);
        return {pageEntries(body), HFClient::nextPageURL(response)};
    }
};

} // namespace

std::vector<RemoteFile> HFTreeLister::listTree(const std::string& repoRemotePath, const std::string& startingAt,
                                               const IncludeRule& include, const Fetcher& fetch,
                                               platform::core::Sleeper& sleeper) {
    TreeWalk walk{.repoRemotePath = repoRemotePath, .include = include, .fetch = fetch, .sleeper = sleeper};
    return walk.run(startingAt);
}

HFTreeLister::Fetcher HFTreeLister::fetch(std::shared_ptr<platform::net::Session> session,
                                          const OfflineSwitch& offline) {
    return [session = std::move(session), &offline](const platform::net::Url& url) {
        offline.refuseWhileOn("listTree(" + url.path() + ")");
        return session->data(HFClient::request(url));
    };
}

} // namespace quorl
