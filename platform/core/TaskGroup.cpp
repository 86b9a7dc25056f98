#include "platform/core/TaskGroup.hpp"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

namespace platform::core {

struct TaskGroup::Job {
    std::function<void()> body;
    std::atomic<bool> claimed = false;
};

struct TaskGroup::State {
    CancellationSource cancellation;
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::shared_ptr<Job>> unstarted;
    std::size_t running = 0;
    std::exception_ptr firstError;

    // Runs the job unless the pool or the waiting thread already took it.
    void runIfUnclaimed(Job& job) {
        if (job.claimed.exchange(true)) {
            return;
        }
        std::exception_ptr error;
        {
            Task::Scope scope(cancellation.token());
            try {
                job.body();
            } catch (...) {
                error = std::current_exception();
            }
        }
        job.body = nullptr;
        complete(error);
    }

    void complete(std::exception_ptr error) {
        bool cancelSiblings = false;
        {
            std::lock_guard lock(mutex);
            if (error && !firstError) {
                firstError = error;
                cancelSiblings = true;
            }
            --running;
        }
        if (cancelSiblings) {
            cancellation.cancel();
        }
        finished.notify_all();
    }

    std::vector<std::shared_ptr<Job>> takeUnstarted() {
        std::lock_guard lock(mutex);
        return std::exchange(unstarted, {});
    }
};

TaskGroup::TaskGroup(ThreadPool& pool, const CancellationToken& parent)
    : state_(std::make_shared<State>()), pool_(pool) {
    parentCancellation_.emplace(parent.stopToken(), [state = state_] { state->cancellation.cancel(); });
}

TaskGroup::~TaskGroup() {
    cancelAll();
    try {
        waitAll();
    } catch (...) {
        // Nobody awaited these jobs, so nobody is left to receive their error.
    }
}

void TaskGroup::spawn(std::function<void()> body) {
    auto job = std::make_shared<Job>();
    job->body = std::move(body);
    {
        std::lock_guard lock(state_->mutex);
        ++state_->running;
        state_->unstarted.push_back(job);
    }
    pool_.submit([state = state_, job] { state->runIfUnclaimed(*job); });
}

void TaskGroup::waitAll() {
    for (const auto& job : state_->takeUnstarted()) {
        state_->runIfUnclaimed(*job);
    }
    std::unique_lock lock(state_->mutex);
    state_->finished.wait(lock, [this] { return state_->running == 0; });
    if (auto error = std::exchange(state_->firstError, nullptr)) {
        std::rethrow_exception(error);
    }
}

void TaskGroup::cancelAll() { state_->cancellation.cancel(); }

CancellationToken TaskGroup::token() const { return state_->cancellation.token(); }

} // namespace platform::core
