#include "platform/core/Clock.hpp"

#include <algorithm>

namespace platform::core {

namespace {

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    void observeAdvance(std::weak_ptr<Observer>) override {}
};

} // namespace

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}

Clock::TimePoint VirtualClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualClock::observeAdvance(std::weak_ptr<Observer> observer) {
    std::lock_guard lock(mutex_);
    observers_.push_back(std::move(observer));
}

void VirtualClock::advance(std::chrono::nanoseconds duration) {
    std::vector<std::shared_ptr<Observer>> live;
    {
        std::lock_guard lock(mutex_);
        now_ += duration;
        std::erase_if(observers_, [](const auto& observer) { return observer.expired(); });
        for (const auto& observer : observers_) {
            if (auto locked = observer.lock()) {
                live.push_back(std::move(locked));
            }
        }
    }
    for (const auto& observer : live) {
        (*observer)();
    }
}

} // namespace platform::core
