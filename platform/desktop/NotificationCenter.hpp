#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace platform::core {
class MainQueue;
}

namespace platform::desktop {

struct Notification {
    std::string name;
};

// Delivers named notifications to the observers of that name. Observers run on the main queue, after the
// post returns, in the order they were added; they stay registered for the centre's lifetime.
class NotificationCenter {
public:
    using Observer = std::function<void(const Notification& notification)>;

    explicit NotificationCenter(core::MainQueue& mainQueue);
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    void addObserver(std::string name, Observer observer);
    // From any thread.
    void post(const Notification& notification);

private:
    struct Registration {
        std::string name;
        Observer observer;
    };

    core::MainQueue& mainQueue_;
    std::mutex mutex_;
    std::vector<Registration> registrations_;
};

} // namespace platform::desktop
