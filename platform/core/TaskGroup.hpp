#pragma once

#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "platform/core/ThreadPool.hpp"

#include <functional>
#include <memory>
#include <optional>

namespace platform::core {

// Structured concurrency: child jobs run on a pool under the group's cancellation token (their
// Task::current()). The first job to throw cancels the others; waitAll() waits for every job and then
// rethrows that first error. Cancelling the parent token cancels the group. A group destroyed with jobs
// outstanding cancels and awaits them, so no child outlives its group.
class TaskGroup {
public:
    explicit TaskGroup(ThreadPool& pool = ThreadPool::shared(), const CancellationToken& parent = Task::current());
    ~TaskGroup();
    TaskGroup(const TaskGroup&) = delete;
    TaskGroup& operator=(const TaskGroup&) = delete;

    void spawn(std::function<void()> job);

    // Blocks until every spawned job has finished. Jobs not yet started on the pool are run on the waiting
    // thread, so groups nested inside pool jobs cannot starve the pool.
    void waitAll();

    void cancelAll();
    CancellationToken token() const;

private:
    struct State;
    struct Job;

    std::shared_ptr<State> state_;
    ThreadPool& pool_;
    std::optional<CancellationCallback> parentCancellation_;
};

} // namespace platform::core
