#include "platform/core/Sleeper.hpp"
#include "platform/core/TaskGroup.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

namespace {

using namespace std::chrono_literals;
using platform::core::CancellationError;
using platform::core::CancellationSource;
using platform::core::Task;
using platform::core::TaskGroup;
using platform::core::ThreadPool;

TEST(TaskGroup, RunsEveryJobBeforeWaitAllReturns) {
    std::atomic<int> done = 0;
    TaskGroup group;
    for (int index = 0; index < 100; ++index) {
        group.spawn([&done] {
            std::this_thread::sleep_for(100us);
            done.fetch_add(1);
        });
    }
    group.waitAll();
    EXPECT_EQ(done.load(), 100);
}

TEST(TaskGroup, FirstErrorCancelsTheOthersAndIsRethrownAfterAllFinish) {
    std::atomic<bool> siblingFinished = false;
    std::atomic<bool> siblingSawCancellation = false;
    TaskGroup group;
    group.spawn([&] {
        try {
            platform::core::sleepFor(10s, Task::current());
        } catch (const CancellationError&) {
            siblingSawCancellation = true;
        }
        std::this_thread::sleep_for(20ms);
        siblingFinished = true;
    });
    group.spawn([] { throw std::runtime_error("chunk failed"); });
    try {
        group.waitAll();
        FAIL() << "the error was swallowed";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "chunk failed");
    }
    EXPECT_TRUE(siblingSawCancellation);
    EXPECT_TRUE(siblingFinished);
}

TEST(TaskGroup, KeepsTheFirstErrorNotTheCancellationsItCaused) {
    TaskGroup group;
    group.spawn([] { throw std::logic_error("first"); });
    for (int index = 0; index < 8; ++index) {
        group.spawn([] { platform::core::sleepFor(10s, Task::current()); });
    }
    EXPECT_THROW(group.waitAll(), std::logic_error);
}

TEST(TaskGroup, CancellingTheParentCancelsTheJobs) {
    CancellationSource parent;
    TaskGroup group(ThreadPool::shared(), parent.token());
    group.spawn([] { platform::core::sleepFor(10s, Task::current()); });
    parent.cancel();
    EXPECT_THROW(group.waitAll(), CancellationError);
}

// Groups nested inside the jobs of a one-thread pool would deadlock if waiting did not run pending jobs.
TEST(TaskGroup, NestedGroupsDoNotStarveASmallPool) {
    ThreadPool pool(1);
    std::atomic<int> leaves = 0;
    TaskGroup outer(pool);
    for (int index = 0; index < 4; ++index) {
        outer.spawn([&pool, &leaves] {
            TaskGroup inner(pool);
            for (int leaf = 0; leaf < 4; ++leaf) {
                inner.spawn([&leaves] { leaves.fetch_add(1); });
            }
            inner.waitAll();
        });
    }
    outer.waitAll();
    EXPECT_EQ(leaves.load(), 16);
}

TEST(TaskGroup, DestroyingAnUnawaitedGroupCancelsAndAwaitsItsJobs) {
    std::atomic<bool> finished = false;
    {
        TaskGroup group;
        group.spawn([&finished] {
            try {
                platform::core::sleepFor(10s, Task::current());
            } catch (const CancellationError&) {}
            finished = true;
        });
    }
    EXPECT_TRUE(finished);
}

} // namespace
