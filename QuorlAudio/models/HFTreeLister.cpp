#include "QuorlAudio/models/HFTreeLister.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <set>

namespace quorl {
namespace {

const AppLogger& logger() {
    static const AppLogger instance("HFTreeLister");
    return instance;
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

std::string rateLimitMessage(const std::string& startingAt, int statusCode) {
    std::string message = "Rate limited while listing files";
    if (!startingAt.empty()) {
        message.append(" in ").append(startingAt);
    }
    message.append(" (HTTP ").append(std::to_string(statusCode)).append(")");
    return message;
}

std::string repeatedCursorWarning(const std::string& startingAt, const platform::net::Url& url,
                                  std::size_t pages) {
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

const std::string* stringField(const nlohmann::json& entry, const char* key) {
    const auto field = entry.find(key);
    return field != entry.end() && field->is_string() ? field->get_ptr<const std::string*>() : nullptr;
}

// Only a folder strictly below the one being listed is descended into: a broken hub that lists a folder
// inside itself, or a parent, would otherwise recurse without end.
bool isBelow(const std::string& path, const std::string& folder) {
    if (folder.empty()) {
        return !path.empty();
    }
    return path.size() > folder.size() + 1 && path.starts_with(folder) && path[folder.size()] == '/';
}

} // namespace

std::vector<RemoteFile> HFTreeLister::listTree(const std::string& repoRemotePath, const std::string& startingAt,
                                               const IncludeRule& include, const Fetcher& fetch) {
    const std::string pagePath = startingAt.empty() ? "tree/main" : "tree/main/" + startingAt;
    platform::net::Url url = ModelRegistry::apiModels(repoRemotePath, pagePath);
    std::vector<RemoteFile> files;
    std::set<std::string> visited;
    while (true) {
        if (!visited.insert(url.absoluteString()).second) {
            logger().warning(repeatedCursorWarning(startingAt, url, visited.size()));
            return files;
        }
        const auto [body, response] = fetch(url);
        if (response.statusCode == 429 || response.statusCode == 503) {
            throw DownloadError::rateLimited(response.statusCode, rateLimitMessage(startingAt, response.statusCode));
        }
        HFClient::validateJSONResponse(body, startingAt);
        for (const auto& entry : pageEntries(body)) {
            const std::string* path = stringField(entry, "path");
            const std::string* type = stringField(entry, "type");
            if (!path || !type) {
                continue;
            }
            if (*type == "directory" && isBelow(*path, startingAt) && include(*path, true)) {
                auto nested = listTree(repoRemotePath, *path, include, fetch);
                files.insert(files.end(), std::make_move_iterator(nested.begin()),
                             std::make_move_iterator(nested.end()));
            } else if (*type == "file" && include(*path, false)) {
                files.push_back(RemoteFile{.path = *path, .size = entrySize(entry)});
            }
        }
        const auto next = HFClient::nextPageURL(response);
        if (!next) {
            return files;
        }
        url = *next;
    }
}

HFTreeLister::Fetcher HFTreeLister::fetch(std::shared_ptr<platform::net::Session> session) {
    return [session = std::move(session)](const platform::net::Url& url) {
        if (HFClient::offlineMode()) {
            std::string operation = "listTree(";
            operation.append(url.path()).append(")");
            throw DownloadError::networkDisabled(operation);
        }
        return session->data(HFClient::request(url));
    };
}

} // namespace quorl
