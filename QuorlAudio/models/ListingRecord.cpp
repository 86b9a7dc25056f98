#include "QuorlAudio/models/ListingRecord.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

namespace quorl {
namespace {

namespace fs = std::filesystem;

bool isAtOrBelow(const std::string& path, const std::string& name) {
    return path == name || (path.size() > name.size() && path.starts_with(name) && path[name.size()] == '/');
}

bool holdsListedSize(const fs::path& file, std::int64_t size) {
    std::error_code unreadable;
    if (size < 0) {
        return fs::exists(file, unreadable);
    }
    const auto actual = fs::file_size(file, unreadable);
    return !unreadable && actual == static_cast<std::uintmax_t>(size);
}

} // namespace

std::optional<ListingRecord> ListingRecord::read(const fs::path& repositoryFolder) {
    std::ifstream stream(repositoryFolder / fileName, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    const auto document =
        nlohmann::json::parse(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>(), nullptr, false);
    const auto files = document.is_object() ? document.find("files") : document.end();
    if (!document.is_object() || files == document.end() || !files->is_object()) {
        return std::nullopt;
    }
    ListingRecord record;
    for (const auto& [path, size] : files->items()) {
        if (!size.is_number_integer()) {
            return std::nullopt;
        }
        record.sizes.emplace(path, size.get<std::int64_t>());
    }
    return record;
}

void ListingRecord::write(const fs::path& repositoryFolder) const {
    const fs::path target = repositoryFolder / fileName;
    fs::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
        stream << nlohmann::json{{"files", sizes}}.dump();
        if (!stream.flush()) {
            throw std::system_error(errno, std::generic_category(), "Cannot write " + temporary.string());
        }
    }
    fs::rename(temporary, target);
}

void ListingRecord::replace(const std::set<std::string>& names, const std::map<std::string, std::int64_t>& listed) {
    std::erase_if(sizes, [&names](const auto& entry) {
        for (const auto& name : names) {
            if (isAtOrBelow(entry.first, name)) {
                return true;
            }
        }
        return false;
    });
    for (const auto& [path, size] : listed) {
        sizes.insert_or_assign(path, size);
    }
}

bool ListingRecord::isComplete(const fs::path& repositoryFolder, const std::string& name) const {
    for (auto entry = sizes.lower_bound(name); entry != sizes.end() && entry->first.starts_with(name); ++entry) {
        if (isAtOrBelow(entry->first, name) && !holdsListedSize(repositoryFolder / entry->first, entry->second)) {
            return false;
        }
    }
    return true;
}

} // namespace quorl
