#pragma once

#include "platform/desktop/NotificationCenter.hpp"

namespace platform::desktop {

class Application;

// Receives the application's life-cycle callbacks, on the main queue. The defaults do nothing, keep the
// application running when its last window closes and do not promise secure state restoration.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;

    virtual void applicationWillFinishLaunching(const Notification& notification);
    virtual void applicationDidFinishLaunching(const Notification& notification);
    virtual bool applicationShouldTerminateAfterLastWindowClosed(Application& sender);
    virtual bool applicationSupportsSecureRestorableState(Application& sender);
};

} // namespace platform::desktop
