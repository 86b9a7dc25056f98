#include "platform/core/Sleeper.hpp"
#include "platform/core/Task.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using platform::core::CancellationError;
using platform::core::CancellationSource;
using platform::core::CancellationToken;
using platform::core::Task;

TEST(Sleep, CancellationWakesASleeperEarlyWithACancellationError) {
    CancellationSource cancellation;
    std::thread canceller([&cancellation] {
        std::this_thread::sleep_for(10ms);
        cancellation.cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(platform::core::sleepFor(60s, cancellation.token()), CancellationError);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

TEST(Sleep, AnAlreadyCancelledTokenThrowsEvenForZeroDuration) {
    CancellationSource cancellation;
    cancellation.cancel();
    EXPECT_THROW(platform::core::sleepFor(0ns, cancellation.token()), CancellationError);
    EXPECT_NO_THROW(platform::core::sleepFor(0ns, CancellationToken()));
}

TEST(Task, ScopeInstallsTheTokenAndRestoresThePreviousOne) {
    CancellationSource outer;
    CancellationSource inner;
    inner.cancel();
    Task::Scope outerScope(outer.token());
    {
        Task::Scope innerScope(inner.token());
        EXPECT_TRUE(Task::isCancelled());
        EXPECT_THROW(Task::checkCancellation(), CancellationError);
    }
    EXPECT_FALSE(Task::isCancelled());
    outer.cancel();
    EXPECT_TRUE(Task::isCancelled());
}

} // namespace
