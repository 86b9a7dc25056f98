#pragma once

#include "platform/desktop/Accessibility.hpp"
#include "platform/desktop/KeyEvent.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::desktop {

class KeyEventRouter;

// The keyboard of the login session, in process. Key events come in through inject (the user's keyboard: tests
// and demos) and post (synthetic events of this process, at the HID location). An injected event passes the
// taps, newest first, each callback on the queue its run-loop source is added to; an event that every tap
// passes reaches the focused application, whose received events and typed text can be read back. Posted events
// reach the focused application directly.
// A callback never starts once its tap is invalidated or destroyed; invalidating from another thread waits for
// a callback that is running.
// A subclass may put a real keyboard behind the taps (X11KeyboardSession): it routes that keyboard's events
// through the taps and types what is posted into the real focused application.
class KeyboardSession {
public:
    // With `typedTextFile`, the focused application also appends the text of every key-down it receives to that
    // file (see KeyEventRouter), so that a test in another process can read back what the host typed.
    explicit KeyboardSession(Accessibility& accessibility,
                             std::optional<std::filesystem::path> typedTextFile = std::nullopt);
    KeyboardSession(const KeyboardSession&) = delete;
    KeyboardSession& operator=(const KeyboardSession&) = delete;
    virtual ~KeyboardSession();

    // The host's, made on first use: the display's keyboard when KeyboardSessionChoice picks it, else the
    // in-process one, trusting as Accessibility::shared() says, with the typed-text file the environment names.
    static KeyboardSession& shared();
    // The file "MIRVO_TYPED_TEXT_FILE" names, read at the call; none when it is unset or empty.
    static std::optional<std::filesystem::path> typedTextFileFromEnvironment();

    Accessibility& accessibility() const { return accessibility_; }

    // A key event from the keyboard. Returns at once; the taps' callbacks run as jobs on their queues.
    void inject(KeyEvent event);
    // Disables every enabled tap and tells each through its callback with `reason` (tapDisabledByTimeout or
    // tapDisabledByUserInput), as a job on its queue like an event; what the callback returns is ignored.
    void disableTaps(EventType reason);

    // Makes keyboard-event creation fail after `successes` more events have been created; none restores it.
    void failKeyboardEventsAfter(std::optional<int> successes);
    // A new keyboard event for the virtual key, down or up, with no modifiers and no text; none when event
    // creation fails.
    std::optional<KeyEvent> makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown);
    // Posts a synthetic event at the HID location.
    virtual void post(const KeyEvent& event);

    // Every event the focused application received, in order.
    std::vector<KeyEvent> receivedEvents() const;
    // The Unicode strings of the key-down events the focused application received, concatenated.
    std::u16string typedText() const;

protected:
    // A session that decides its own trust.
    explicit KeyboardSession(std::unique_ptr<Accessibility> ownAccessibility);
    const std::shared_ptr<KeyEventRouter>& router() const { return router_; }

private:
    friend class EventTap;

    std::unique_ptr<Accessibility> ownAccessibility_;
    Accessibility& accessibility_;
    // Shared with the jobs on the taps' queues, which may outlive the session.
    std::shared_ptr<KeyEventRouter> router_;
    std::mutex mutex_;
    std::optional<int> remainingEventCreations_;
};

} // namespace platform::desktop
