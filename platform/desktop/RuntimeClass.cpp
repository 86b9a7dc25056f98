#include "platform/desktop/RuntimeClass.hpp"

namespace platform::desktop {

RuntimeClass::RuntimeClass(std::string name) : name_(std::move(name)) {}

std::shared_ptr<RuntimeMethod> RuntimeClass::addMethod(const std::string& selector,
                                                       RuntimeMethod::Implementation implementation) {
    auto method = std::make_shared<RuntimeMethod>(selector, std::move(implementation));
    std::lock_guard lock(mutex_);
    methods_[selector] = method;
    return method;
}

std::shared_ptr<RuntimeMethod> RuntimeClass::instanceMethod(const std::string& selector) const {
    std::lock_guard lock(mutex_);
    const auto found = methods_.find(selector);
    return found == methods_.end() ? nullptr : found->second;
}

} // namespace platform::desktop
