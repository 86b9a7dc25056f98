#include "platform/desktop/emulatedruntime/EmulatedMethod.hpp"

#include <utility>

namespace platform::desktop {

EmulatedMethod::EmulatedMethod(std::string selector, Implementation implementation)
    : selector_(std::move(selector)), implementation_(std::move(implementation)) {}

EmulatedMethod::Implementation EmulatedMethod::setImplementation(Implementation implementation) {
    std::lock_guard lock(mutex_);
    return std::exchange(implementation_, std::move(implementation));
}

void EmulatedMethod::invoke(const Object& receiver, const Object& argument) const {
    Implementation implementation;
    {
        std::lock_guard lock(mutex_);
        implementation = implementation_;
    }
    implementation(receiver, argument);
}

} // namespace platform::desktop
