#include "platform/core/Sleeper.hpp"

#include <condition_variable>
#include <mutex>

namespace platform::core {

void sleepFor(std::chrono::nanoseconds duration, const CancellationToken& token) {
    token.checkCancellation();
    if (duration <= std::chrono::nanoseconds::zero()) {
        return;
    }
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    const auto deadline = std::chrono::steady_clock::now() + duration;
    wake.wait_until(lock, token.stopToken(), deadline, [] { return false; });
    token.checkCancellation();
}

namespace {

class SystemSleeper final : public Sleeper {
public:
    void sleep(std::chrono::nanoseconds duration, const CancellationToken& token) override {
        sleepFor(duration, token);
    }
};

} // namespace

Sleeper& Sleeper::system() {
    static SystemSleeper sleeper;
    return sleeper;
}

} // namespace platform::core
