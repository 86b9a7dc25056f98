#pragma once

#include "platform/desktop/ApplicationDelegate.hpp"
#include "platform/desktop/ApplicationEvent.hpp"
#include "platform/desktop/Bundle.hpp"
#include "platform/desktop/NotificationCenter.hpp"
#include "platform/desktop/Window.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace platform::core {
class MainQueue;
}

namespace platform::desktop {

// The running application: its windows, its delegate and its run loop on the main queue. Used on the main
// queue only.
class Application {
public:
    static constexpr std::string_view willFinishLaunchingNotification = "ApplicationWillFinishLaunching";
    static constexpr std::string_view didFinishLaunchingNotification = "ApplicationDidFinishLaunching";

    Application(core::MainQueue& mainQueue, NotificationCenter& notificationCenter, Bundle mainBundle);
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    core::MainQueue& mainQueue() const { return mainQueue_; }
    NotificationCenter& notificationCenter() const { return notificationCenter_; }
    const Bundle& mainBundle() const { return mainBundle_; }

    const std::shared_ptr<ApplicationDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::shared_ptr<ApplicationDelegate> delegate) { delegate_ = std::move(delegate); }

    // In the order they were added.
    const std::vector<std::shared_ptr<Window>>& windows() const { return windows_; }
    void addWindow(std::shared_ptr<Window> window);
    // Removes the window. When it was the last one, the delegate decides whether the application ends.
    void closeWindow(const Window& window);

    // Tells the delegate that launching is about to finish, then that it has finished, and posts both
    // notifications. A delegate that terminates the application during the first callback gets no second.
    void finishLaunching();

    // Runs the main queue until terminate().
    void run();
    // Stops the run loop; the application does not run again.
    void terminate();
    bool isTerminated() const { return terminated_; }

    // Another copy of the application asked this one to come forward with all its windows. There is no
    // window stacking to change here, so it is logged and the activation observer is told.
    void activate();
    // Brings the application to the front at the user's request, before any other application.
    void activateIgnoringOtherApps() { ++userActivations_; }
    int userActivations() const { return userActivations_; }

    // The event being handled; none outside event handling.
    const std::optional<ApplicationEvent>& currentEvent() const { return currentEvent_; }
    void setCurrentEvent(std::optional<ApplicationEvent> event) { currentEvent_ = event; }

    void setActivationObserver(std::function<void()> observer) { activationObserver_ = std::move(observer); }

private:
    core::MainQueue& mainQueue_;
    NotificationCenter& notificationCenter_;
    Bundle mainBundle_;
    std::shared_ptr<ApplicationDelegate> delegate_;
    std::vector<std::shared_ptr<Window>> windows_;
    std::function<void()> activationObserver_;
    bool terminated_ = false;
    int userActivations_ = 0;
    std::optional<ApplicationEvent> currentEvent_;
};

} // namespace platform::desktop
