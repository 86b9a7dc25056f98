#include "QuorlAudio/asr/streaming/RecognitionTask.hpp"

#include "platform/core/Task.hpp"

#include <utility>

namespace quorl {

RecognitionTask::RecognitionTask(std::function<void()> job)
    : thread_([this, job = std::move(job)] { run(job); }) {}

RecognitionTask::~RecognitionTask() { thread_.join(); }

void RecognitionTask::cancel() { cancellation_.cancel(); }

void RecognitionTask::wait() const {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return done_; });
    if (error_) {
        std::rethrow_exception(error_);
    }
}

void RecognitionTask::run(const std::function<void()>& job) {
    std::exception_ptr error;
    {
        const platform::core::Task::Scope scope(cancellation_.token());
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

} // namespace quorl
