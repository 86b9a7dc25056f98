#pragma once

#include <filesystem>

namespace platform::sys {

// Removes the file or the folder with everything below it; a path that is absent or cannot be removed is left
// as it is, for callers to whom a leftover is harmless.
void removeIgnoringFailure(const std::filesystem::path& path);

} // namespace platform::sys
