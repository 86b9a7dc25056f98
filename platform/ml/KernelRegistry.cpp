#include "platform/ml/KernelRegistry.hpp"

#include <map>
#include <mutex>
#include <utility>

namespace platform::ml {

namespace {

class ProcessKernelRegistry final : public KernelRegistry {
public:
    void registerKernel(const std::string& name, KernelFactory factory) override {
        std::lock_guard lock(mutex_);
        factories_[name] = std::move(factory);
    }

    std::optional<KernelFactory> find(const std::string& name) const {
        std::lock_guard lock(mutex_);
        auto found = factories_.find(name);
        if (found == factories_.end()) {
            return std::nullopt;
        }
        return found->second;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, KernelFactory> factories_;
};

ProcessKernelRegistry& processRegistry() {
    static ProcessKernelRegistry registry;
    return registry;
}

} // namespace

KernelRegistry& kernelRegistry() { return processRegistry(); }

void registerKernel(const std::string& name, KernelFactory factory) {
    processRegistry().registerKernel(name, std::move(factory));
}

std::optional<KernelFactory> kernelFactory(const std::string& name) { return processRegistry().find(name); }

} // namespace platform::ml
