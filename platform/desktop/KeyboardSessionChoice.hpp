#pragma once

#include <memory>
#include <string>

namespace platform::desktop {

class KeyboardSession;

// Which keyboard the host's session has: the display's own ($DISPLAY) when "MIRVO_KEYBOARD" is "x11", else the
// in-process one. The display's keyboard is not yet taken by default: a key pressed in the same instant as
// the taps' answer can leave the keyboard frozen under a grab (see X11KeyWatcher).
struct KeyboardSessionChoice {
    enum class Kind { inProcess, x11 };

    Kind kind = Kind::inProcess;
    // The X display to open; empty for $DISPLAY.
    std::string display;

    static KeyboardSessionChoice fromEnvironment();
    // The chosen session; the in-process one when the display cannot be used (logged).
    std::unique_ptr<KeyboardSession> make() const;
};

} // namespace platform::desktop
