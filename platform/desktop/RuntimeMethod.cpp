#include "platform/desktop/RuntimeMethod.hpp"

#include <utility>

namespace platform::desktop {

RuntimeMethod::RuntimeMethod(std::string selector, Implementation implementation)
    : selector_(std::move(selector)), implementation_(std::move(implementation)) {}

RuntimeMethod::Implementation RuntimeMethod::setImplementation(Implementation implementation) {
    std::lock_guard lock(mutex_);
    return std::exchange(implementation_, std::move(implementation));
}

void RuntimeMethod::invoke(const Object& receiver, const Object& argument) const {
    Implementation implementation;
    {
        std::lock_guard lock(mutex_);
        implementation = implementation_;
    }
    implementation(receiver, argument);
}

} // namespace platform::desktop
