#pragma once

#include "platform/desktop/EventTap.hpp"
#include "platform/desktop/KeyEvent.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace platform::core {
class MainQueue;
}

namespace platform::desktop {

class KeyEventRouter;
class RunLoopSource;

// What an event tap is, apart from its handle: the callback, the switches and the run-loop source. Shared by
// the tap and the jobs that carry events to it, so a job that runs after the tap is gone finds it invalid.
class TapState {
public:
    TapState(EventTap::Callback callback, std::weak_ptr<KeyEventRouter> router);
    TapState(const TapState&) = delete;
    TapState& operator=(const TapState&) = delete;

    void enable(bool enabled);
    bool isEnabled() const { return enabled_; }
    void limitWithholdingTo(std::set<std::uint16_t> keyCodes);
    // The keys whose events the tap may withhold; none for every key.
    std::optional<std::set<std::uint16_t>> withheldKeys() const;
    // Stops the callback for good and leaves the router. Waits for a callback running on another thread.
    void invalidate();
    bool isValid() const { return valid_; }

    // Made on first use.
    std::shared_ptr<RunLoopSource> runLoopSource();
    // The queue the source is added to, or null.
    core::MainQueue* sourceQueue() const;
    // Where the tap's events go now: its source's queue while enabled and valid, else null.
    core::MainQueue* eventQueue() const;

    // The callback's answer, or the event untouched when the tap stopped seeing events after it was sent here.
    std::optional<KeyEvent> handle(const KeyEvent& event);
    // Tells a valid tap that the session disabled it.
    void notify(const KeyEvent& notice);

private:
    EventTap::Callback callback_;
    std::weak_ptr<KeyEventRouter> router_;
    // Held while the callback runs, so that invalidation never precedes a callback; recursive because a
    // callback may invalidate its own tap.
    std::recursive_mutex callbackMutex_;
    std::atomic<bool> enabled_ = false;
    std::atomic<bool> valid_ = true;
    mutable std::mutex sourceMutex_;
    std::shared_ptr<RunLoopSource> source_;
    mutable std::mutex keysMutex_;
    std::optional<std::set<std::uint16_t>> withheldKeys_;
};

} // namespace platform::desktop
