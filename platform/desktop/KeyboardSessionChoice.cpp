#include "platform/desktop/KeyboardSessionChoice.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/desktop/Accessibility.hpp"
#include "platform/desktop/X11KeyboardSession.hpp"
#include "platform/sys/Environment.hpp"
#include "platform/sys/UnifiedLog.hpp"

namespace platform::desktop {

KeyboardSessionChoice KeyboardSessionChoice::fromEnvironment() {
    const auto forced = sys::nonEmptyEnvironmentValue("MIRVO_KEYBOARD");
    if (forced == "x11") {
        return {.kind = Kind::x11, .display = ""};
    }
    if (forced == "in-process") {
        return {.kind = Kind::inProcess, .display = ""};
    }
    if (forced) {
        sys::systemLog(core::concatenated(
            {"Keyboard session: MIRVO_KEYBOARD=", *forced, " is neither x11 nor in-process; choosing by the display"}));
    }
    const bool displayNamed = sys::nonEmptyEnvironmentValue("DISPLAY").has_value();
    return {.kind = displayNamed ? Kind::x11WhenTrusted : Kind::inProcess, .display = ""};
}

std::unique_ptr<KeyboardSession> KeyboardSessionChoice::make() const {
    if (kind != Kind::inProcess) {
        auto session = X11KeyboardSession::open(display);
        if (session && (kind == Kind::x11 || session->accessibility().isProcessTrusted())) {
            return session;
        }
        if (session) {
            sys::systemLog("Keyboard session: the X display lacks XTest or refuses the hotkey grabs; staying in "
                           "process");
        }
    }
    return std::make_unique<KeyboardSession>(Accessibility::shared(), KeyboardSession::typedTextFileFromEnvironment());
}

} // namespace platform::desktop
