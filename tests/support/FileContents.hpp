#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// Every byte of the file at `path`; empty when there is no such file.
std::string fileContents(const std::filesystem::path& path);

} // namespace testsupport
