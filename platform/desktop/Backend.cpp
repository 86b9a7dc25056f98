#include "platform/desktop/Backend.hpp"

namespace platform::desktop {

Backend::Backend(NotificationCenter& notificationCenter) : notificationCenter_(notificationCenter) {}

bool Backend::hasDefaultApp() const {
    std::lock_guard lock(mutex_);
    return hasDefaultApp_;
}

void Backend::createDefaultApp() {
    std::lock_guard lock(mutex_);
    hasDefaultApp_ = true;
}

void Backend::configure() {
    createDefaultApp();
    notificationCenter_.post(Notification{.name = std::string(readyNotification)});
}

void Backend::useUserAccessGroup(const std::optional<std::string>& group) {
    std::lock_guard lock(mutex_);
    userAccessGroupCalls_.push_back(group);
    if (keychainFailure_) {
        throw *keychainFailure_;
    }
}

void Backend::failUserAccessGroupWith(core::SystemError error) {
    std::lock_guard lock(mutex_);
    keychainFailure_ = std::move(error);
}

std::vector<std::optional<std::string>> Backend::userAccessGroupCalls() const {
    std::lock_guard lock(mutex_);
    return userAccessGroupCalls_;
}

} // namespace platform::desktop
