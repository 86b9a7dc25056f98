#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

struct _XDisplay;

namespace platform::desktop {

class KeyEventRouter;

// Watches the keys of an X display that the session's taps know by name, for every application at once, and
// lets the taps withhold them.
// - Observing: XInput2 raw key events (which every client selecting them on the root window gets, whatever has
//   the focus or a grab) become the session's key events and go through the taps.
// - Withholding: each watched key that an enabled tap may withhold (EventTap::limitWithholdingTo) has a
//   synchronous passive grab on the root window. A press freezes the keyboard until the taps have decided on
//   it: a passed event is replayed to the focused window as if there were no grab, which ends the grab; a
//   withheld one is kept, and every further key event while the grab lasts (until the key that started it is
//   released) is reported to it with the keyboard frozen again and decided the same way. A key the taps do
//   not know, pressed meanwhile, is replayed. Taps that take longer than a second are disabled with a time-out
//   notice, and the event is replayed.
// One thread of its own reads the connection; the connection is used by nothing else.
class X11KeyWatcher {
public:
    // One watched key: its XKB key name, the session's virtual key code for it and, for a key reported as a
    // modifier change, the modifier flag it holds while down (0 for a plain key).
    struct WatchedKey {
        const char* xkbName;
        std::uint16_t virtualKey;
        std::uint64_t modifierFlag;
    };

    // Space "SPCE" (49), F13 "FK13" (105), right Control "RCTL" as the fn modifier (63), right Alt "RALT" as
    // the right option modifier (61) and right Super "RWIN" as the right command modifier (54).
    static const std::vector<WatchedKey>& watchedKeys();

    // Takes ownership of the connection, which must offer XInput 2.2, and starts watching.
    X11KeyWatcher(_XDisplay* display, std::shared_ptr<KeyEventRouter> router);
    X11KeyWatcher(const X11KeyWatcher&) = delete;
    X11KeyWatcher& operator=(const X11KeyWatcher&) = delete;
    ~X11KeyWatcher();

    // Whether the display let this client grab every watched key it has (tried once, when watching started).
    bool grabsAccepted() const { return grabsAccepted_; }
    // Grabs the watched keys that the enabled taps may withhold and releases the others; returns once that is
    // done, except when called from the watcher's own thread, which does it next.
    void updateGrabs();

private:
    struct Decisions;
    // A key event, known by the server's time stamp, its keycode and its direction.
    struct EventId {
        unsigned long time;
        int keycode;
        bool press;
        auto operator<=>(const EventId&) const = default;
    };
    struct Frozen {
        EventId id;
        std::chrono::steady_clock::time_point deadline;
    };

    void findWatchedKeys();
    bool tryGrabs();
    void run();
    void applyGrabs();
    // The watched keys that the enabled taps may withhold.
    std::set<int> wantedGrabs() const;
    void dispatchPending();
    void onRawKey(const EventId& id);
    void onGrabbedKey(const EventId& id);
    // Sends a key event reported to the grab through the taps, unless its raw twin already went.
    void routeFromGrab(const EventId& id);
    // Sends the key event through the taps; their answer lands in decisions_.
    void route(const EventId& id);
    void settleFrozen();
    // Thaws the keyboard: replays the frozen event to the focused window, or keeps it and reports the next.
    void allow(bool replay);
    std::uint64_t heldFlags() const;
    int pollTimeoutMilliseconds() const;

    _XDisplay* display_;
    std::shared_ptr<KeyEventRouter> router_;
    std::shared_ptr<Decisions> decisions_;
    int xiOpcode_ = 0;
    // Keycode to watched key.
    std::map<int, WatchedKey> keys_;
    bool grabsAccepted_ = false;

    // Of the watcher's thread only.
    std::set<int> held_;
    std::optional<Frozen> frozen_;
    // The key whose press started the active grab, while one is active.
    std::optional<int> grabKey_;
    // Grabbed events that went through the taps before their raw twins came.
    std::set<EventId> routedFromGrab_;
    // The keycodes that have a passive grab.
    std::set<int> grabbed_;

    std::mutex mutex_;
    std::condition_variable grabsApplied_;
    std::uint64_t grabRequests_ = 0;
    std::uint64_t grabsDone_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace platform::desktop
