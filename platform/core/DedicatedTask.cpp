#include "platform/core/DedicatedTask.hpp"

#include "platform/core/Task.hpp"

#include <utility>

namespace platform::core {

DedicatedTask::DedicatedTask(std::function<void()> job) : thread_([this, job = std::move(job)] { run(job); }) {}

DedicatedTask::~DedicatedTask() { thread_.join(); }

void DedicatedTask::cancel() { cancellation_.cancel(); }

void DedicatedTask::wait() const {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return done_; });
    if (error_) {
        std::rethrow_exception(error_);
    }
}

void DedicatedTask::run(const std::function<void()>& job) {
    std::exception_ptr error;
    {
        const Task::Scope scope(cancellation_.token());
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
    }
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        error_ = std::move(error);
    }
    finished_.notify_all();
}

} // namespace platform::core
