#pragma once

#include "platform/core/Clock.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace platform::core {

// The host's main queue: jobs and timers run one at a time on the thread that runs the loop. Channel
// handlers run here; other threads post to it. Timers follow the queue's clock, so on a VirtualClock they
// fire when the test advances time.
class MainQueue {
public:
    // Cancels a pending timer; harmless after it has fired.
    class Timer {
    public:
        Timer() = default;
        void cancel();

    private:
        friend class MainQueue;
        explicit Timer(std::shared_ptr<std::atomic<bool>> cancelled) : cancelled_(std::move(cancelled)) {}
        std::shared_ptr<std::atomic<bool>> cancelled_;
    };

    explicit MainQueue(Clock& clock = Clock::system());
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;

    void async(std::function<void()> job);
    Timer asyncAfter(std::chrono::nanoseconds delay, std::function<void()> job);

    // Runs jobs and timers on the calling thread until stop() is called (from any thread, or from a job).
    void run();
    void stop();

    // Runs everything that is ready now, including what those jobs post and timers that are due, then
    // returns the number of jobs run. Lets a test drive the queue on its own thread.
    std::size_t runUntilIdle();

    bool isCurrent() const { return runner_.load() == std::this_thread::get_id(); }

    // The clock its timers follow; the host's "now" for timed behaviour on the main queue.
    Clock& clock() const { return clock_; }

private:
    struct PendingTimer {
        Clock::TimePoint deadline;
        std::uint64_t sequence;
        std::function<void()> job;
        std::shared_ptr<std::atomic<bool>> cancelled;
        bool operator>(const PendingTimer& other) const {
            return deadline != other.deadline ? deadline > other.deadline : sequence > other.sequence;
        }
    };

    // Takes the next runnable job, or nothing when none is ready. Called with the lock held.
    std::function<void()> takeReady();
    void runOne(std::unique_lock<std::mutex>& lock, std::function<void()> job);

    // Shared with the clock's observer, which may still be running on another thread while the queue is
    // destroyed.
    struct Signal {
        std::mutex mutex;
        std::condition_variable changed;
    };

    Clock& clock_;
    std::shared_ptr<Signal> signal_;
    std::shared_ptr<Clock::Observer> clockObserver_;
    std::deque<std::function<void()>> jobs_;
    std::priority_queue<PendingTimer, std::vector<PendingTimer>, std::greater<>> timers_;
    std::uint64_t nextSequence_ = 0;
    bool stopRequested_ = false;
    std::atomic<std::thread::id> runner_;
};

} // namespace platform::core
