#pragma once

struct _XDisplay;

namespace platform::desktop {

// Xlib's default error handler ends the process; the X11 session reports failed requests instead. Each
// connection is used by one thread, which is also the one that receives its errors.
class X11ErrorTrap {
public:
    // Installs the process's handler on first use and starts counting this thread's errors afresh.
    X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Waits for the server to answer every request sent so far; the code of the first error among them, or 0.
    int sync(_XDisplay* display) const;
};

} // namespace platform::desktop
