#include "platform/desktop/emulatedruntime/EmulatedClassRegistry.hpp"

namespace platform::desktop {

void EmulatedClassRegistry::registerClass(std::shared_ptr<EmulatedClass> runtimeClass) {
    std::lock_guard lock(mutex_);
    const std::string name = runtimeClass->name();
    classes_[name] = std::move(runtimeClass);
}

std::shared_ptr<EmulatedClass> EmulatedClassRegistry::lookUpClass(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto found = classes_.find(name);
    return found == classes_.end() ? nullptr : found->second;
}

} // namespace platform::desktop
