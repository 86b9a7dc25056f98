#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>
#include <variant>

namespace quorl {

// The results of chunk jobs in the order the jobs finish, so that the dispatcher can hand a new chunk to
// whichever worker came back first. Each job delivers its result or the error it failed with.
template <typename Result>
class ChunkResultQueue {
public:
    void deliver(Result result) { push(Delivery(std::in_place_index<0>, std::move(result))); }
    void fail(std::exception_ptr error) { push(Delivery(std::in_place_index<1>, std::move(error))); }

    // Waits for the next result in finishing order; throws the error of a failed job. A job must be outstanding
    // or delivered.
    Result next() {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [this] { return !deliveries_.empty(); });
        Delivery delivery = std::move(deliveries_.front());
        deliveries_.pop_front();
        lock.unlock();
        if (delivery.index() == 1) {
            std::rethrow_exception(std::get<1>(delivery));
        }
        return std::get<0>(std::move(delivery));
    }

private:
    using Delivery = std::variant<Result, std::exception_ptr>;

    void push(Delivery delivery) {
        {
            std::lock_guard lock(mutex_);
            deliveries_.push_back(std::move(delivery));
        }
        arrived_.notify_one();
    }

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Delivery> deliveries_;
};

} // namespace quorl
