#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::core {

// The time source of timers. The host runs on the system clock; tests use a VirtualClock that moves only
// when told, so timed behaviour is checked without waiting.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Observer = std::function<void()>;

    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;

    // Registers a callback run each time the clock jumps forward, so a waiter can re-check its deadline.
    // The clock keeps only a weak reference: the observer ends when its owner drops it.
    virtual void observeAdvance(std::weak_ptr<Observer> observer) = 0;

    static Clock& system();
};

class VirtualClock final : public Clock {
public:
    TimePoint now() const override;
    void observeAdvance(std::weak_ptr<Observer> observer) override;

    // Moves the time forward and wakes every observer.
    void advance(std::chrono::nanoseconds duration);

private:
    mutable std::mutex mutex_;
    TimePoint now_{};
    std::vector<std::weak_ptr<Observer>> observers_;
};

} // namespace platform::core
