#pragma once

#include <filesystem>
#include <string>

namespace platform::sys {

// The whole file as bytes. Throws std::filesystem::filesystem_error naming the file when it cannot be opened
// or read.
std::string fileContents(const std::filesystem::path& path);

} // namespace platform::sys
