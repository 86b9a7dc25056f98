#include "platform/core/MainQueue.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::core::MainQueue;
using platform::core::VirtualClock;

TEST(MainQueue, TimersFireWhenVirtualTimeReachesThemInDeadlineOrder) {
    VirtualClock clock;
    MainQueue queue(clock);
    std::vector<std::string> fired;
    queue.asyncAfter(20ms, [&] { fired.push_back("b"); });
    queue.asyncAfter(10ms, [&] { fired.push_back("a"); });
    queue.asyncAfter(20ms, [&] { fired.push_back("c"); });

    EXPECT_EQ(queue.runUntilIdle(), 0u);
    clock.advance(10ms);
    queue.runUntilIdle();
    EXPECT_EQ(fired, (std::vector<std::string>{"a"}));
    clock.advance(10ms);
    queue.runUntilIdle();
    EXPECT_EQ(fired, (std::vector<std::string>{"a", "b", "c"}));
}

TEST(MainQueue, CancelledTimerNeverRuns) {
    VirtualClock clock;
    MainQueue queue(clock);
    bool fired = false;
    auto timer = queue.asyncAfter(5ms, [&] { fired = true; });
    timer.cancel();
    clock.advance(1s);
    queue.runUntilIdle();
    EXPECT_FALSE(fired);
}

TEST(MainQueue, JobsPostedByJobsRunInTheSameDrain) {
    VirtualClock clock;
    MainQueue queue(clock);
    std::vector<int> order;
    queue.async([&] {
        order.push_back(1);
        queue.async([&] { order.push_back(3); });
    });
    queue.async([&] { order.push_back(2); });
    EXPECT_EQ(queue.runUntilIdle(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

// The run loop sleeps until its next timer; advancing virtual time from another thread must wake it.
TEST(MainQueue, RunLoopWakesWhenVirtualTimeAdvancesFromAnotherThread) {
    VirtualClock clock;
    MainQueue queue(clock);
    queue.asyncAfter(3s, [&queue] { queue.stop(); });
    std::thread driver([&clock] {
        for (int step = 0; step < 3; ++step) {
            std::this_thread::sleep_for(1ms);
            clock.advance(1s);
        }
    });
    queue.run();
    driver.join();
    SUCCEED();
}

TEST(MainQueue, StopFromAnotherThreadEndsRunAndIsNotLostWhenEarly) {
    MainQueue queue;
    queue.stop();
    queue.run();

    bool ranOnMain = false;
    queue.async([&] { ranOnMain = queue.isCurrent(); });
    std::thread stopper([&queue] { queue.async([&queue] { queue.stop(); }); });
    queue.run();
    stopper.join();
    EXPECT_TRUE(ranOnMain);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(MainQueue, RealClockTimerFiresAfterItsDelay) {
    MainQueue queue;
    const auto start = std::chrono::steady_clock::now();
    queue.asyncAfter(20ms, [&queue] { queue.stop(); });
    queue.run();
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

} // namespace
