#pragma once

#include <filesystem>

namespace quorl::TtsCacheDirectory {

// The root of the per-user synthesis cache, ~/.cache/quorlaudio, made with its missing parents when nothing
// stands there; whatever already stands there is returned as it is. Throws the file system's error when the
// folder cannot be made.
std::filesystem::path ensure();

// The cache's "Models" folder, where the synthesisers' model repositories go, made the same way.
std::filesystem::path ensureModels();

} // namespace quorl::TtsCacheDirectory
