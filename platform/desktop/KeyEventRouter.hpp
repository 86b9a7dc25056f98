#pragma once

#include "platform/desktop/KeyEvent.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform::desktop {

class TapState;

// The session's event stream: the taps in the order they were made, and what reached the focused
// application. An event goes from tap to tap, newest first, as one job per tap on the tap's queue.
// Thread-safe; held by std::shared_ptr because the jobs keep it.
class KeyEventRouter : public std::enable_shared_from_this<KeyEventRouter> {
public:
    // With `typedTextFile`, the focused application also appends the Unicode string of every key-down it
    // receives to that file, in UTF-8, as each arrives, so that another process can read what was typed. A
    // write that fails is logged; the event is received all the same.
    explicit KeyEventRouter(std::optional<std::filesystem::path> typedTextFile = std::nullopt);

    // Places the tap in front of every earlier one.
    void add(std::shared_ptr<TapState> tap);
    void remove(const TapState& tap);

    // Where a routed event ends: the event as the last tap passed it, or nothing when a tap withheld it.
    using Settled = std::function<void(std::optional<KeyEvent> passed)>;

    // Sends the event through the taps to the focused application.
    void route(KeyEvent event);
    // Sends the event through the taps and tells `settled` how it ended instead of handing it to the focused
    // application: for a keyboard whose applications are outside this process. Not called when a job carrying
    // the event is dropped with its queue.
    void route(KeyEvent event, Settled settled);
    // Called, without locks held, whenever a tap is enabled, disabled or removed; set once, before any tap.
    void onTapsChanged(std::function<void()> observer);
    void tapsChanged() const;
    // The keys whose events the enabled taps may withhold, together; none when one of them may withhold any.
    std::optional<std::set<std::uint16_t>> withheldKeys() const;
    // Disables every enabled tap and sends each a notice of type `reason` through its queue.
    void disableTaps(EventType reason);
    // Hands the event to the focused application without passing any tap.
    void deliver(KeyEvent event);

    std::vector<KeyEvent> receivedEvents() const;

private:
    struct Entry {
        std::uint64_t serial;
        std::shared_ptr<TapState> tap;
    };

    // Sends the event to the newest tap made before `below` that sees events, or to the application.
    void routeBelow(KeyEvent event, std::uint64_t below, Settled settled);
    // The focused application takes the event in. Called with the mutex held, which keeps the file in
    // arrival order.
    void receive(KeyEvent event);
    void appendTypedText(const std::u16string& units) const;

    const std::optional<std::filesystem::path> typedTextFile_;
    mutable std::mutex mutex_;
    std::uint64_t nextSerial_ = 0;
    // Oldest first.
    std::vector<Entry> taps_;
    std::vector<KeyEvent> receivedEvents_;
    std::function<void()> tapsObserver_;
};

} // namespace platform::desktop
