#pragma once

#include <cstdint>
#include <string>

namespace quorl {

// One file of a repository listing.
struct RemoteFile {
    // From the repository root, "/"-separated.
    std::string path;
    // In bytes as the hub reports it; -1 when the listing gave none.
    std::int64_t size = -1;

    friend bool operator==(const RemoteFile&, const RemoteFile&) = default;
};

} // namespace quorl
