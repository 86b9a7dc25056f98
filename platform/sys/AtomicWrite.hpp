#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace platform::sys {

// Writes `bytes` to a new file beside `destination` under a name no other writer picks, then renames it over
// `destination`, so a reader sees the old content or the new, never half of it. On failure the temporary file
// is removed and the error (platform::core::SystemError of domain "POSIX", or std::filesystem::filesystem_error
// from the rename) is passed on.
void writeAtomically(std::span<const std::uint8_t> bytes, const std::filesystem::path& destination);

} // namespace platform::sys
