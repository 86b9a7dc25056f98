#pragma once

#include "platform/desktop/KeyboardSession.hpp"

#include <memory>
#include <mutex>
#include <string>

struct _XDisplay;

namespace platform::desktop {

class X11KeyWatcher;
class X11Typist;

// The keyboard of an X display (X.Org or XWayland) behind the session's taps: the watched keys of every
// application reach the taps, and what they withhold does not reach the focused window (X11KeyWatcher); the
// Unicode strings of posted key-downs are typed into the focused window (X11Typist). The process counts as
// trusted for accessibility when the display offers XTest and XInput 2.2 and lets it grab the watched keys.
// Events injected with inject() still go through the taps to the in-process record, as in every session.
class X11KeyboardSession final : public KeyboardSession {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // The session of the named display ("" for $DISPLAY); none, with the reason logged, when it cannot be
    // opened or lacks XInput 2.2.
    static std::unique_ptr<X11KeyboardSession> open(const std::string& displayName);

    X11KeyboardSession(Passkey, bool trusted, _XDisplay* typing, _XDisplay* watching);
    ~X11KeyboardSession() override;

    // Types the event's Unicode string when it is a key-down; a key-up types nothing.
    void post(const KeyEvent& event) override;

private:
    std::mutex typingMutex_;
    std::unique_ptr<X11Typist> typist_;
    std::unique_ptr<X11KeyWatcher> watcher_;
};

} // namespace platform::desktop
