#include "platform/desktop/emulatedruntime/EmulatedClass.hpp"

namespace platform::desktop {

EmulatedClass::EmulatedClass(std::string name) : name_(std::move(name)) {}

std::shared_ptr<EmulatedMethod> EmulatedClass::addMethod(const std::string& selector,
                                                         EmulatedMethod::Implementation implementation) {
    auto method = std::make_shared<EmulatedMethod>(selector, std::move(implementation));
    std::lock_guard lock(mutex_);
    methods_[selector] = method;
    return method;
}

std::shared_ptr<EmulatedMethod> EmulatedClass::instanceMethod(const std::string& selector) const {
    std::lock_guard lock(mutex_);
    const auto found = methods_.find(selector);
    return found == methods_.end() ? nullptr : found->second;
}

} // namespace platform::desktop
