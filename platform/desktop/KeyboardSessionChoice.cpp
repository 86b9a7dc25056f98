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
    if (forced && forced != "in-process") {
        sys::systemLog(core::concatenated(
            {"Keyboard session: MIRVO_KEYBOARD=", *forced, " is neither x11 nor in-process; staying in process"}));
    }
    return {.kind = Kind::inProcess, .display = ""};
}

std::unique_ptr<KeyboardSession> KeyboardSessionChoice::make() const {
    if (kind == Kind::x11) {
        if (auto session = X11KeyboardSession::open(display)) {
            return session;
        }
    }
    return std::make_unique<KeyboardSession>(Accessibility::shared(), KeyboardSession::typedTextFileFromEnvironment());
}

} // namespace platform::desktop
