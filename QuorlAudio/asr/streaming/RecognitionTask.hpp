#pragma once

#include "platform/core/CancellationToken.hpp"

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace quorl {

// A recogniser's worker: one thread of its own running one job under the task's cancellation token (the job's
// Task::current()), so that waiting for audio for the length of a dictation occupies no shared pool thread.
// Destroying the task waits for the job to return; cancel it first to make that prompt.
class RecognitionTask {
public:
    explicit RecognitionTask(std::function<void()> job);
    ~RecognitionTask();
    RecognitionTask(const RecognitionTask&) = delete;
    RecognitionTask& operator=(const RecognitionTask&) = delete;

    // Requests cancellation without waiting for the job.
    void cancel();
    // Blocks until the job has returned, then rethrows what it threw, if anything. Any number of callers may
    // wait, any number of times.
    void wait() const;

private:
    void run(const std::function<void()>& job);

    platform::core::CancellationSource cancellation_;
    mutable std::mutex mutex_;
    mutable std::condition_variable finished_;
    bool done_ = false;
    std::exception_ptr error_;
    // Last, so the thread starts once everything it touches exists.
    std::thread thread_;
};

} // namespace quorl
