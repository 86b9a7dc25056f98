#include "platform/desktop/EventSource.hpp"

#include "platform/desktop/KeyboardSession.hpp"

namespace platform::desktop {

std::optional<KeyEvent> EventSource::keyboardEvent(std::uint16_t virtualKey, bool keyDown) const {
    return session_.makeKeyboardEvent(virtualKey, keyDown);
}

void EventSource::post(const KeyEvent& event) const { session_.post(event); }

} // namespace platform::desktop
