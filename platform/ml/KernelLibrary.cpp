#include "platform/ml/KernelLibrary.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/ModelError.hpp"

#include <dlfcn.h>

#include <mutex>
#include <set>

namespace platform::ml {

namespace {

struct OpenedLibraries {
    std::mutex mutex;
    std::set<std::filesystem::path> paths;
};

OpenedLibraries& openedLibraries() {
    static OpenedLibraries libraries;
    return libraries;
}

std::string lastLoaderError() {
    const char* error = dlerror();
    return error != nullptr ? error : "unknown loader error";
}

void openAndRegister(const std::filesystem::path& library) {
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        throw ModelError::kernelLibraryFailed(library.string(), lastLoaderError());
    }
    auto* entryPoint = reinterpret_cast<KernelLibraryEntryPoint*>(dlsym(handle, kernelLibraryEntryPoint));
    if (entryPoint == nullptr) {
        dlclose(handle);
        std::string reason = "no entry point ";
        reason.append(kernelLibraryEntryPoint);
        throw ModelError::kernelLibraryFailed(library.string(), reason);
    }
    entryPoint(kernelRegistry());
}

// The path that names the library however it was reached; the path as given when the file system cannot
// resolve it, so that opening it reports the failure.
std::filesystem::path canonicalPath(const std::filesystem::path& library) {
    std::error_code error;
    auto path = std::filesystem::weakly_canonical(library, error);
    return error ? library : path;
}

} // namespace

void loadKernelLibrary(const std::filesystem::path& library) {
    const auto path = canonicalPath(library);
    auto& libraries = openedLibraries();
    std::lock_guard lock(libraries.mutex);
    if (libraries.paths.contains(path)) {
        return;
    }
    openAndRegister(path);
    libraries.paths.insert(path);
}

} // namespace platform::ml
