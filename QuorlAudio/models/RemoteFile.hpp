#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorl {

// One file of a repository listing.
struct RemoteFile {
    // From the repository root, "/"-separated.
    std::string path;
    // In bytes as the hub reports it; -1 when the listing gave none.
    std::int64_t size = -1;
    // The SHA-256 of the content in lower-case hexadecimal, when the listing gives one (it does for large
    // files).
    std::optional<std::string> sha256 = std::nullopt;

    friend bool operator==(const RemoteFile&, const RemoteFile&) = default;
};

} // namespace quorl
