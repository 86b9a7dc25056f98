#pragma once

#include "platform/core/ThreadPool.hpp"

#include <functional>
#include <memory>

namespace platform::core {

// Work an object starts on a thread pool without waiting for it (a recogniser warming the shared array pool,
// opening a progress session, emptying the pool). Destroying this object finishes every job still outstanding: a
// job the pool has not picked up yet runs on the destroying thread, and one already running is waited for. So no
// job outlives the object that started it, and none is still running when the process tears down the shared
// objects the jobs use.
class BackgroundJobs {
public:
    explicit BackgroundJobs(ThreadPool& pool = ThreadPool::shared());
    ~BackgroundJobs();
    BackgroundJobs(const BackgroundJobs&) = delete;
    BackgroundJobs& operator=(const BackgroundJobs&) = delete;

    // Queues the job and returns at once. Nobody awaits it, so an error it throws is dropped.
    void start(std::function<void()> job);

private:
    struct Job;
    struct State;

    std::shared_ptr<State> state_;
    ThreadPool& pool_;
};

} // namespace platform::core
