#include "platform/core/SerialQueue.hpp"

#include <pthread.h>

namespace platform::core {

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)), worker_([this] { work(); }) {}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    available_.notify_one();
    worker_.join();
}

void SerialQueue::async(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    available_.notify_one();
}

void SerialQueue::work() {
    // Thread names are limited to 15 bytes.
    pthread_setname_np(pthread_self(), label_.substr(0, 15).c_str());
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

} // namespace platform::core
