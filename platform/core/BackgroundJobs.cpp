#include "platform/core/BackgroundJobs.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace platform::core {

struct BackgroundJobs::Job {
    std::function<void()> body;
    std::atomic<bool> claimed = false;
};

struct BackgroundJobs::State {
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<std::shared_ptr<Job>> outstanding;

    // Runs the job unless the pool or the destroying thread already took it.
    void runIfUnclaimed(const std::shared_ptr<Job>& job) {
        if (job->claimed.exchange(true)) {
            return;
        }
        try {
            job->body();
        } catch (...) {
            // Nobody awaits the job, so nobody is left to receive its error.
        }
        job->body = nullptr;
        {
            std::lock_guard lock(mutex);
            std::erase(outstanding, job);
        }
        finished.notify_all();
    }
};

BackgroundJobs::BackgroundJobs(ThreadPool& pool) : state_(std::make_shared<State>()), pool_(pool) {}

BackgroundJobs::~BackgroundJobs() {
    std::vector<std::shared_ptr<Job>> outstanding;
    {
        std::lock_guard lock(state_->mutex);
        outstanding = state_->outstanding;
    }
    for (const auto& job : outstanding) {
        state_->runIfUnclaimed(job);
    }
    std::unique_lock lock(state_->mutex);
    state_->finished.wait(lock, [this] { return state_->outstanding.empty(); });
}

void BackgroundJobs::start(std::function<void()> body) {
    auto job = std::make_shared<Job>();
    job->body = std::move(body);
    {
        std::lock_guard lock(state_->mutex);
        state_->outstanding.push_back(job);
    }
    pool_.submit([state = state_, job] { state->runIfUnclaimed(job); });
}

} // namespace platform::core
