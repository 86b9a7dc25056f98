#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace testsupport {

// Every byte of the file at `path`; empty when there is no such file.
std::string fileContents(const std::filesystem::path& path);

// `size` bytes cycling through "a" to "z", so a byte lost, repeated or moved shows in a comparison.
std::string letterPattern(std::size_t size);

} // namespace testsupport
