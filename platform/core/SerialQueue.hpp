#pragma once

#include "platform/core/ThreadPool.hpp"

#include <atomic>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <type_traits>

namespace platform::core {

// Jobs run one at a time, in submission order, on the queue's own thread, which carries the label as its
// name for debuggers. Destroying the queue runs the jobs already submitted, then stops the thread.
class SerialQueue {
public:
    explicit SerialQueue(const std::string& label);

    void async(std::function<void()> job) { worker_.submit(std::move(job)); }

    // Runs `job` on the queue and waits for its result or its exception. Called from the queue itself it
    // runs inline, since waiting for itself would never end.
    template <typename Job> std::invoke_result_t<Job> sync(Job&& job) {
        if (isCurrent()) {
            return job();
        }
        std::packaged_task<std::invoke_result_t<Job>()> task(std::forward<Job>(job));
        auto result = task.get_future();
        async([&task] { task(); });
        return result.get();
    }

    bool isCurrent() const { return std::this_thread::get_id() == threadId_.load(); }

private:
    std::atomic<std::thread::id> threadId_;
    ThreadPool worker_{1};
};

} // namespace platform::core
