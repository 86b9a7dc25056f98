#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// How a model bundle looks on disk, taken without reading any file: for the bundle folder and every entry
// in it, its path inside the bundle, its identity (device and inode), its size and its modification and
// status-change times. A file replaced, rewritten, added or removed gives another stamp; what stays
// unseen is a file rewritten in place with the same size within one tick of the file system's clock, or a
// new file that reuses a deleted one's inode within that tick, which is why deleting a folder must also
// forget its models explicitly.
struct BundleStamp {
    struct Entry {
        // Relative to the bundle folder; empty for the folder itself.
        std::string path;
        std::uint64_t device;
        std::uint64_t inode;
        std::int64_t size;
        std::int64_t modifiedNanoseconds;
        std::int64_t changedNanoseconds;

        bool operator==(const Entry&) const = default;
    };

    // Sorted by path.
    std::vector<Entry> entries;

    // The stamp of the bundle folder; none when it is not a folder or something in it cannot be examined.
    static std::optional<BundleStamp> of(const std::filesystem::path& bundle);

    bool operator==(const BundleStamp&) const = default;
};

} // namespace quorl
