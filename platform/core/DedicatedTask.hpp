#pragma once

#include "platform/core/CancellationToken.hpp"

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace platform::core {

// One job on a thread of its own, run under the task's cancellation token (the job's Task::current()), for work
// that waits for the length of a session (a recogniser's worker, a relay of its updates) and so must occupy no
// shared pool thread. Destroying the task waits for the job to return; cancel it first to make that prompt.
class DedicatedTask {
public:
    explicit DedicatedTask(std::function<void()> job);
    ~DedicatedTask();
    DedicatedTask(const DedicatedTask&) = delete;
    DedicatedTask& operator=(const DedicatedTask&) = delete;

    // Requests cancellation without waiting for the job.
    void cancel();
    // Blocks until the job has returned, then rethrows what it threw, if anything. Any number of callers may
    // wait, any number of times.
    void wait() const;

private:
    void run(const std::function<void()>& job);

    CancellationSource cancellation_;
    mutable std::mutex mutex_;
    mutable std::condition_variable finished_;
    bool done_ = false;
    std::exception_ptr error_;
    // Last, so the thread starts once everything it touches exists.
    std::thread thread_;
};

} // namespace platform::core
