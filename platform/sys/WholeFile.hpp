#pragma once

#include <filesystem>
#include <string>

namespace platform::sys {

// Every byte of the file at `path`. Throws std::filesystem::filesystem_error naming the path when the file
// cannot be opened or read (a folder cannot be read either).
std::string wholeFile(const std::filesystem::path& path);

} // namespace platform::sys
