#include "platform/core/BackgroundJobs.hpp"

#include "platform/core/ThreadPool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace platform::core {
namespace {

// A flag one thread raises and others wait for.
class Signal {
public:
    void raise() {
        {
            std::lock_guard lock(mutex_);
            raised_ = true;
        }
        changed_.notify_all();
    }

    void wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return raised_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

TEST(BackgroundJobs, DestructionRunsJobsThePoolHasNotReached) {
    ThreadPool pool(1);
    Signal release;
    pool.submit([&] { release.wait(); });
    std::thread::id ranOn;
    {
        BackgroundJobs tasks(pool);
        tasks.start([] { throw std::runtime_error("dropped"); });
        tasks.start([&] { ranOn = std::this_thread::get_id(); });
    }
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    release.raise();
}

TEST(BackgroundJobs, DestructionWaitsForARunningJob) {
    ThreadPool pool(1);
    Signal started;
    Signal release;
    std::atomic<bool> finished = false;
    auto tasks = std::make_unique<BackgroundJobs>(pool);
    tasks->start([&] {
        started.raise();
        release.wait();
        finished = true;
    });
    started.wait();

    bool finishedWhenDestroyed = false;
    std::thread destroyer([&] {
        tasks.reset();
        finishedWhenDestroyed = finished;
    });
    release.raise();
    destroyer.join();

    EXPECT_TRUE(finishedWhenDestroyed);
}

} // namespace
} // namespace platform::core
