#pragma once

#include <filesystem>

namespace platform::sys {

// Whether anything is at `path`. A path that cannot be examined (no permission on a folder on the way) counts
// as absent, which makes the callers fetch or fail on it with their own error.
bool isPresent(const std::filesystem::path& path);

} // namespace platform::sys
