#include "platform/desktop/NotificationCenter.hpp"

#include "platform/core/MainQueue.hpp"

namespace platform::desktop {

NotificationCenter::NotificationCenter(core::MainQueue& mainQueue) : mainQueue_(mainQueue) {}

void NotificationCenter::addObserver(std::string name, Observer observer) {
    std::lock_guard lock(mutex_);
    registrations_.push_back(Registration{.name = std::move(name), .observer = std::move(observer)});
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<Observer> observers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& registration : registrations_) {
            if (registration.name == notification.name) {
                observers.push_back(registration.observer);
            }
        }
    }
    for (auto& observer : observers) {
        mainQueue_.async([observer = std::move(observer), notification] { observer(notification); });
    }
}

} // namespace platform::desktop
