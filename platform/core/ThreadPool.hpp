#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::core {

// A fixed set of worker threads running jobs in submission order; destroying the pool runs the jobs
// already submitted, then joins the threads. Jobs must not throw; TaskGroup wraps the work it submits so
// errors reach the group instead.
class ThreadPool {
public:
    explicit ThreadPool(std::size_t threadCount);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    void submit(std::function<void()> job);
    std::size_t threadCount() const { return workers_.size(); }

    // The process-wide pool, one thread per processor (at least two). It lives until the process exits.
    static ThreadPool& shared();

private:
    void work();

    std::mutex mutex_;
    std::condition_variable available_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace platform::core
