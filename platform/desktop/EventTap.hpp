#pragma once

#include "platform/desktop/KeyEvent.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace platform::desktop {

class KeyboardSession;
class RunLoopSource;
class TapState;

// A tap at the head of the session's keyboard event stream: it sees key down, key up and modifier-change
// events before any application does, and decides for each whether it goes on. The session also tells an
// enabled tap, through the same callback, when it disables the tap (time-out or user input).
class EventTap {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // Returns the event to pass it on (possibly changed), or nothing to withhold it from every later tap and
    // from the focused application.
    using Callback = std::function<std::optional<KeyEvent>(const KeyEvent& event)>;

    // A new tap, disabled and without a run-loop source. None when the session refuses one: the process is not
    // trusted for accessibility.
    static std::shared_ptr<EventTap> create(KeyboardSession& session, Callback callback);

    EventTap(Passkey, KeyboardSession& session, Callback callback);
    EventTap(const EventTap&) = delete;
    EventTap& operator=(const EventTap&) = delete;
    ~EventTap();

    // The source through which the tap's events reach a run loop; one per tap.
    std::shared_ptr<RunLoopSource> runLoopSource();

    void enable(bool enabled);
    bool isEnabled() const;
    // The keys (virtual key codes) whose events the tap may withhold; every key until this is called. A keyboard
    // outside the process holds back only these keys' events while the taps decide, so there a withheld event
    // of another key still reaches the focused application. The tap still sees the other keys' events.
    void limitWithholdingTo(std::set<std::uint16_t> keyCodes);
    // Removes the tap from the session for good; it sees no further events.
    void invalidate();
    bool isValid() const;

private:
    std::shared_ptr<TapState> state_;
};

} // namespace platform::desktop
