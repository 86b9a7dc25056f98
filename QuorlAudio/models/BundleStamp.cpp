#include "QuorlAudio/models/BundleStamp.hpp"

#include <algorithm>
#include <sys/stat.h>
#include <system_error>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + static_cast<std::int64_t>(time.tv_nsec);
}

// Follows links, as the runtime does when it reads the bundle.
std::optional<BundleStamp::Entry> entryOf(const fs::path& path, std::string relativePath) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return BundleStamp::Entry{.path = std::move(relativePath),
                              .device = static_cast<std::uint64_t>(status.st_dev),
                              .inode = static_cast<std::uint64_t>(status.st_ino),
                              .size = static_cast<std::int64_t>(status.st_size),
                              .modifiedNanoseconds = nanoseconds(status.st_mtim),
                              .changedNanoseconds = nanoseconds(status.st_ctim)};
}

} // namespace

std::optional<BundleStamp> BundleStamp::of(const fs::path& bundle) {
    std::error_code unreadable;
    if (!fs::is_directory(bundle, unreadable)) {
        return std::nullopt;
    }
    BundleStamp stamp;
    auto folder = entryOf(bundle, "");
    if (!folder) {
        return std::nullopt;
    }
    stamp.entries.push_back(std::move(*folder));
    fs::recursive_directory_iterator entry(bundle, unreadable);
    for (const fs::recursive_directory_iterator end; !unreadable && entry != end; entry.increment(unreadable)) {
        auto stamped = entryOf(entry->path(), entry->path().lexically_relative(bundle).generic_string());
        if (!stamped) {
            return std::nullopt;
        }
        stamp.entries.push_back(std::move(*stamped));
    }
    if (unreadable) {
        return std::nullopt;
    }
    std::ranges::sort(stamp.entries, {}, &Entry::path);
    return stamp;
}

} // namespace quorl
