#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quorl {

// The SHA-256 of a file's content in lower-case hexadecimal, read in blocks; none when the file cannot be
// read.
std::optional<std::string> sha256OfFile(const std::filesystem::path& path);

} // namespace quorl
