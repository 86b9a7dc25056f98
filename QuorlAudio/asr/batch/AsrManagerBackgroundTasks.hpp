#pragma once

#include "platform/core/ThreadPool.hpp"

#include <functional>
#include <memory>

namespace quorl {

// Work a recogniser starts on a thread pool without waiting for it (warming the shared array pool, opening a
// progress session, emptying the pool). Destroying this object finishes every job still outstanding: a job the
// pool has not picked up yet runs on the destroying thread, and one already running is waited for. So no job
// outlives the recogniser that started it, and none is still running when the process tears down the shared
// objects the jobs use.
class AsrManagerBackgroundTasks {
public:
    explicit AsrManagerBackgroundTasks(platform::core::ThreadPool& pool = platform::core::ThreadPool::shared());
    ~AsrManagerBackgroundTasks();
    AsrManagerBackgroundTasks(const AsrManagerBackgroundTasks&) = delete;
    AsrManagerBackgroundTasks& operator=(const AsrManagerBackgroundTasks&) = delete;

    // Queues the job and returns at once. Nobody awaits it, so an error it throws is dropped.
    void start(std::function<void()> job);

private:
    struct Job;
    struct State;

    std::shared_ptr<State> state_;
    platform::core::ThreadPool& pool_;
};

} // namespace quorl
