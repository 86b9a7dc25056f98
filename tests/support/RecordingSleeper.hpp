#pragma once

#include "platform/core/Sleeper.hpp"

#include <chrono>
#include <functional>
#include <mutex>
#include <vector>

namespace quorl::testing {

// Records the waits it is asked for instead of sleeping. Like the real sleeper it throws CancellationError
// when the token is cancelled, after running `onSleep`, which a test uses to cancel during the wait.
class RecordingSleeper final : public platform::core::Sleeper {
public:
    std::function<void()> onSleep;

    void sleep(std::chrono::nanoseconds duration, const platform::core::CancellationToken& token) override {
        {
            std::lock_guard lock(mutex_);
            waits_.push_back(std::chrono::duration<double>(duration).count());
        }
        if (onSleep) {
            onSleep();
        }
        token.checkCancellation();
    }

    // In seconds, in the order asked.
    std::vector<double> waits() const {
        std::lock_guard lock(mutex_);
        return waits_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<double> waits_;
};

} // namespace quorl::testing
