#include "platform/desktop/ApplicationDelegate.hpp"

namespace platform::desktop {

void ApplicationDelegate::applicationWillFinishLaunching(const Notification&) {}

void ApplicationDelegate::applicationDidFinishLaunching(const Notification&) {}

bool ApplicationDelegate::applicationShouldTerminateAfterLastWindowClosed(Application&) { return false; }

bool ApplicationDelegate::applicationSupportsSecureRestorableState(Application&) { return false; }

} // namespace platform::desktop
