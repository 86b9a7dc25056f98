#include "platform/desktop/X11Errors.hpp"

#include <X11/Xlib.h>

#include <mutex>

namespace platform::desktop {

namespace {

thread_local int firstError = 0;

int recordError(Display*, XErrorEvent* error) {
    if (firstError == 0) {
        firstError = error->error_code;
    }
    return 0;
}

} // namespace

X11ErrorTrap::X11ErrorTrap() {
    static std::once_flag installed;
    std::call_once(installed, [] { XSetErrorHandler(recordError); });
    firstError = 0;
}

int X11ErrorTrap::sync(_XDisplay* display) const {
    XSync(display, False);
    return firstError;
}

} // namespace platform::desktop
