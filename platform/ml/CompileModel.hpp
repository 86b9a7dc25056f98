#pragma once

#include <filesystem>

namespace platform::ml {

// Compiles a model package (a ".mlpackage" folder holding "model.json") into a compiled bundle and returns
// the bundle's path. The bundle is a new ".mlmodelc" folder with a unique hidden name beside the package, so
// it is on the same file system and the caller can move it into place with a rename; when the package's
// folder cannot be written, it is made in the system's temporary folder instead. The package is left as it
// was. Throws ModelError when the package is missing, is not a package or has a broken "model.json";
// nothing is left behind after a failure.
std::filesystem::path compileModel(const std::filesystem::path& packagePath);

} // namespace platform::ml
