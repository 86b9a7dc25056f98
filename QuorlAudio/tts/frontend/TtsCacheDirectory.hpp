#pragma once

#include <filesystem>

namespace quorl::TtsCacheDirectory {

// The root of the per-user synthesis cache, ~/.cache/quorlaudio, made with its missing parents when nothing
// stands there; whatever already stands there is returned as it is. Throws the file system's error when the
// folder cannot be made.
std::filesystem::path ensure();

} // namespace quorl::TtsCacheDirectory
