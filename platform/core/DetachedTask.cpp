#include "platform/core/DetachedTask.hpp"

#include "platform/core/Task.hpp"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace platform::core {

struct DetachedTask::State {
    CancellationSource cancellation;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

DetachedTask::DetachedTask(std::function<void()> job) : state_(std::make_shared<State>()) {
    std::thread([state = state_, job = std::move(job)]() mutable {
        {
            const Task::Scope scope(state->cancellation.token());
            try {
                job();
            } catch (...) {
                // Reported by the job itself, if at all.
            }
            // Whatever the job held goes before waiters are told it ended.
            job = nullptr;
        }
        {
            const std::lock_guard lock(state->mutex);
            state->done = true;
        }
        state->finished.notify_all();
    }).detach();
}

void DetachedTask::cancel() const { state_->cancellation.cancel(); }

void DetachedTask::wait() const {
    std::unique_lock lock(state_->mutex);
    state_->finished.wait(lock, [this] { return state_->done; });
}

} // namespace platform::core
