#pragma once

#include <filesystem>

namespace platform::ml {

// Opens a kernel library and lets it register its kernels, once per path for the life of the process (the
// library stays loaded: models made by its kernels may outlive every bundle that named it). Throws
// ModelError naming the library when it cannot be opened or has no entry point.
void loadKernelLibrary(const std::filesystem::path& library);

} // namespace platform::ml
