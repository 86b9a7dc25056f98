#include "platform/desktop/Application.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/sys/UnifiedLog.hpp"

#include <string>

namespace platform::desktop {

Application::Application(core::MainQueue& mainQueue, NotificationCenter& notificationCenter, Bundle mainBundle)
    : mainQueue_(mainQueue), notificationCenter_(notificationCenter), mainBundle_(std::move(mainBundle)) {}

void Application::addWindow(std::shared_ptr<Window> window) { windows_.push_back(std::move(window)); }

void Application::closeWindow(const Window& window) {
    const auto removed = std::erase_if(windows_, [&window](const auto& open) { return open.get() == &window; });
    if (removed > 0 && windows_.empty() && delegate_ &&
        delegate_->applicationShouldTerminateAfterLastWindowClosed(*this)) {
        terminate();
    }
}

void Application::finishLaunching() {
    const Notification willFinish{.name = std::string(willFinishLaunchingNotification)};
    if (delegate_) {
        delegate_->applicationWillFinishLaunching(willFinish);
    }
    if (terminated_) {
        return;
    }
    notificationCenter_.post(willFinish);
    const Notification didFinish{.name = std::string(didFinishLaunchingNotification)};
    if (delegate_) {
        delegate_->applicationDidFinishLaunching(didFinish);
    }
    if (!terminated_) {
        notificationCenter_.post(didFinish);
    }
}

void Application::run() {
    if (!terminated_) {
        mainQueue_.run();
    }
}

void Application::terminate() {
    terminated_ = true;
    mainQueue_.stop();
}

void Application::activate() {
    sys::systemLog(core::concatenated(
        {mainBundle_.name, ": activated by another instance (windows=", std::to_string(windows_.size()), ")"}));
    if (activationObserver_) {
        activationObserver_();
    }
}

} // namespace platform::desktop
