#include "platform/core/ThreadPool.hpp"

#include <algorithm>

namespace platform::core {

ThreadPool::ThreadPool(std::size_t threadCount) {
    workers_.reserve(threadCount);
    for (std::size_t index = 0; index < threadCount; ++index) {
        workers_.emplace_back([this] { work(); });
    }
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    available_.notify_all();
    for (auto& worker : workers_) {
        worker.join();
    }
}

void ThreadPool::submit(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    available_.notify_one();
}

void ThreadPool::work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            available_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

ThreadPool& ThreadPool::shared() {
    // Never destroyed: a job still blocked at exit must not make the process hang in a join.
    static ThreadPool* pool = new ThreadPool(std::max(2u, std::thread::hardware_concurrency()));
    return *pool;
}

} // namespace platform::core
