#pragma once

#include "platform/ml/Kernel.hpp"

#include <optional>
#include <string>

namespace platform::ml {

// Binds kernel names (the "kernel" of a bundle's model.json) to their implementations, process-wide.
//
// A bundle may also name a shared library ("library" in model.json). The runtime opens each library path once
// (dlopen) and calls its entry point
//     extern "C" void platform_ml_register_kernels(platform::ml::KernelRegistry& registry);
// which registers the library's kernels through the registry it is given. Because the registry arrives as
// an object, the library needs no symbol of the executable: it links its own copy of the array and feature
// types (platform_ml is built position-independent for that) and the host needs no exported symbols.
class KernelRegistry {
public:
    // Binds the name, replacing an earlier binding of the same name.
    virtual void registerKernel(const std::string& name, KernelFactory factory) = 0;

protected:
    ~KernelRegistry() = default;
};

inline constexpr const char* kernelLibraryEntryPoint = "platform_ml_register_kernels";

using KernelLibraryEntryPoint = void(KernelRegistry& registry);

// The registry of this process.
KernelRegistry& kernelRegistry();

// Shorthand for kernelRegistry().registerKernel.
void registerKernel(const std::string& name, KernelFactory factory);

// The factory bound to the name, if any.
std::optional<KernelFactory> kernelFactory(const std::string& name);

} // namespace platform::ml
