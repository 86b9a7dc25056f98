#pragma once

#include <memory>
#include <string>

namespace platform::desktop {

class KeyboardSession;

// Which keyboard the host's session has. "MIRVO_KEYBOARD" forces one: "x11" the display's own ($DISPLAY),
// "in-process" the in-process one. Otherwise the display's keyboard is taken when $DISPLAY names a display
// that can be opened and trusts the process (XTest, XInput 2.2 and the grabs), and the in-process one when
// there is no display or it cannot be used.
struct KeyboardSessionChoice {
    enum class Kind {
        inProcess,
        // Forced: used even when the display does not trust the process, so that the host reports that.
        x11,
        // Used only when the display trusts the process.
        x11WhenTrusted,
    };

    Kind kind = Kind::inProcess;
    // The X display to open; empty for $DISPLAY.
    std::string display;

    static KeyboardSessionChoice fromEnvironment();
    // The chosen session; the in-process one when the display cannot be used (logged).
    std::unique_ptr<KeyboardSession> make() const;
};

} // namespace platform::desktop
