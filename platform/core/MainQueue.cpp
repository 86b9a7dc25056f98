#include "platform/core/MainQueue.hpp"

namespace platform::core {

void MainQueue::Timer::cancel() {
    if (cancelled_) {
        cancelled_->store(true);
    }
}

MainQueue::MainQueue(Clock& clock)
    : clock_(clock), signal_(std::make_shared<Signal>()),
      clockObserver_(std::make_shared<Clock::Observer>([signal = signal_] {
          // Taking the lock orders the wake-up after a waiter's deadline check, so none is lost.
          { std::lock_guard lock(signal->mutex); }
          signal->changed.notify_all();
      })) {
    clock_.observeAdvance(clockObserver_);
}

void MainQueue::async(std::function<void()> job) {
    {
        std::lock_guard lock(signal_->mutex);
        jobs_.push_back(std::move(job));
    }
    signal_->changed.notify_all();
}

MainQueue::Timer MainQueue::asyncAfter(std::chrono::nanoseconds delay, std::function<void()> job) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard lock(signal_->mutex);
        timers_.push(PendingTimer{clock_.now() + delay, nextSequence_++, std::move(job), cancelled});
    }
    signal_->changed.notify_all();
    return Timer(cancelled);
}

void MainQueue::stop() {
    {
        std::lock_guard lock(signal_->mutex);
        stopRequested_ = true;
    }
    signal_->changed.notify_all();
}

std::function<void()> MainQueue::takeReady() {
    if (!jobs_.empty()) {
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        return job;
    }
    while (!timers_.empty() && timers_.top().deadline <= clock_.now()) {
        auto timer = timers_.top();
        timers_.pop();
        if (!timer.cancelled->load()) {
            return std::move(timer.job);
        }
    }
    return nullptr;
}

void MainQueue::runOne(std::unique_lock<std::mutex>& lock, std::function<void()> job) {
    lock.unlock();
    job();
    lock.lock();
}

void MainQueue::run() {
    runner_ = std::this_thread::get_id();
    std::unique_lock lock(signal_->mutex);
    while (!stopRequested_) {
        if (auto job = takeReady()) {
            runOne(lock, std::move(job));
        } else if (timers_.empty()) {
            signal_->changed.wait(lock);
        } else {
            signal_->changed.wait_for(lock, timers_.top().deadline - clock_.now());
        }
    }
    stopRequested_ = false;
    runner_ = std::thread::id();
}

std::size_t MainQueue::runUntilIdle() {
    runner_ = std::this_thread::get_id();
    std::size_t count = 0;
    std::unique_lock lock(signal_->mutex);
    while (auto job = takeReady()) {
        runOne(lock, std::move(job));
        ++count;
    }
    runner_ = std::thread::id();
    return count;
}

} // namespace platform::core
