#pragma once

#include "platform/desktop/KeyEvent.hpp"

#include <cstdint>
#include <optional>

namespace platform::desktop {

class KeyboardSession;

// A source of synthetic keyboard events carrying the combined state of the session's keyboards.
class EventSource {
public:
    enum class StateId { combinedSessionState };

    explicit EventSource(KeyboardSession& session, StateId state = StateId::combinedSessionState)
        : session_(session), state_(state) {}

    StateId state() const { return state_; }
    // A keyboard event for the virtual key, down or up; none when it cannot be created.
    std::optional<KeyEvent> keyboardEvent(std::uint16_t virtualKey, bool keyDown) const;
    // Posts the event at the HID event tap location.
    void post(const KeyEvent& event) const;

private:
    KeyboardSession& session_;
    StateId state_;
};

} // namespace platform::desktop
