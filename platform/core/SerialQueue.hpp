#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

namespace platform::core {

// Jobs run one at a time, in submission order, on the queue's own thread, which carries the label as its
// name for debuggers. Destroying the queue runs the jobs already submitted, then stops the thread.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> job);

    // Runs `job` on the queue and waits for its result or its exception. Called from the queue itself it
    // runs inline, since waiting for itself would never end.
    template <typename Job>
    std::invoke_result_t<Job> sync(Job&& job) {
        if (isCurrent()) {
            return job();
        }
        std::packaged_task<std::invoke_result_t<Job>()> task(std::forward<Job>(job));
        auto result = task.get_future();
        async([&task] { task(); });
        return result.get();
    }

    bool isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

private:
    void work();

    std::string label_;
    std::mutex mutex_;
    std::condition_variable available_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace platform::core
