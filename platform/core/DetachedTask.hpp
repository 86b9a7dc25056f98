#pragma once

#include "platform/core/CancellationToken.hpp"

#include <functional>
#include <memory>

namespace platform::core {

// One job on a thread of its own that nothing joins, run under the task's cancellation token (the job's
// Task::current()), for work that may hold the last reference to what started it (a stream's producer, a
// session's generation). Copies are handles on the same job; dropping them all leaves it running.
class DetachedTask {
public:
    explicit DetachedTask(std::function<void()> job);

    // Requests cancellation without waiting for the job.
    void cancel() const;
    // Blocks until the job has returned; never call it from the job. What the job throws is dropped: a job
    // reports through channels of its own.
    void wait() const;

private:
    struct State;

    std::shared_ptr<State> state_;
};

} // namespace platform::core
