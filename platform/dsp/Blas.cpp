#include "platform/dsp/Blas.hpp"

#include <dlfcn.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace platform::dsp {
namespace {

constexpr const char* libraryName = "libopenblas.so.0";

template <typename Function> Function symbol(void* library, const char* name) {
    void* address = ::dlsym(library, name);
    if (address == nullptr) {
        throw std::runtime_error(std::string("OpenBLAS has no ") + name);
    }
    return reinterpret_cast<Function>(address);
}

Blas load() {
    // Read by the library's initialiser; a value the caller set stays.
    ::setenv("OPENBLAS_NUM_THREADS", "1", 0);
    // Never closed: the routines are used until the process ends.
    void* library = ::dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        throw std::runtime_error(std::string("Cannot load ") + libraryName + ": " + ::dlerror());
    }
    return {.sgemv = symbol<decltype(&cblas_sgemv)>(library, "cblas_sgemv"),
            .sgemm = symbol<decltype(&cblas_sgemm)>(library, "cblas_sgemm"),
            .dgemm = symbol<decltype(&cblas_dgemm)>(library, "cblas_dgemm"),
            .dgemv = symbol<decltype(&cblas_dgemv)>(library, "cblas_dgemv")};
}

} // namespace

const Blas& Blas::shared() {
    static const Blas blas = load();
    return blas;
}

} // namespace platform::dsp
