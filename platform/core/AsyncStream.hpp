#pragma once

#include "platform/core/Task.hpp"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace platform::core {

// A stream of values from any number of producers to one consumer, buffered without bound so a producer
// never waits. The producer side is the Continuation; the consumer blocks in next() or iterates with
// range-for. A finished stream hands out what is still buffered, then ends; a failed one hands out what is
// buffered, then throws its error once, then ends. When the consumer's task is cancelled, next() returns
// no value and the stream ends for good, and so it does when the consumer calls cancel() or the last copy
// of the consumer's side is destroyed. The producer learns of any of these ends through its termination
// handler and through yield() answering false.
template <typename T> class AsyncStream {
    struct State {
        std::mutex mutex;
        std::condition_variable_any changed;
        std::deque<T> buffer;
        bool terminated = false;
        std::exception_ptr error;
        std::function<void()> onTermination;
    };

    // Marks the stream ended and runs the termination handler, outside the lock, the first time only.
    static void terminate(State& state, std::exception_ptr error, bool dropBuffer) {
        std::function<void()> handler;
        {
            std::lock_guard lock(state.mutex);
            if (state.terminated) {
                return;
            }
            state.terminated = true;
            state.error = std::move(error);
            if (dropBuffer) {
                state.buffer.clear();
            }
            handler = std::exchange(state.onTermination, nullptr);
        }
        state.changed.notify_all();
        if (handler) {
            handler();
        }
    }

    // Owned by the consumer's copies only; the last one to go ends the stream.
    struct Consumer {
        std::shared_ptr<State> state;

        explicit Consumer(std::shared_ptr<State> shared) : state(std::move(shared)) {}
        ~Consumer() { terminate(*state, nullptr, true); }
        Consumer(const Consumer&) = delete;
        Consumer& operator=(const Consumer&) = delete;
    };

public:
    class Continuation {
    public:
        // False once the stream has finished, failed or been cancelled: the value is dropped.
        bool yield(T value) const {
            {
                std::lock_guard lock(state_->mutex);
                if (state_->terminated) {
                    return false;
                }
                state_->buffer.push_back(std::move(value));
            }
            state_->changed.notify_all();
            return true;
        }

        void finish() const { terminate(*state_, nullptr, false); }

        void fail(std::exception_ptr error) const { terminate(*state_, std::move(error), false); }

        // Runs `handler` once when the stream finishes, fails, or its consumer cancels or drops it; at once
        // when that has already happened. A later handler replaces one not yet run.
        void onTermination(std::function<void()> handler) const {
            {
                std::lock_guard lock(state_->mutex);
                if (!state_->terminated) {
                    state_->onTermination = std::move(handler);
                    return;
                }
            }
            handler();
        }

    private:
        friend class AsyncStream;
        explicit Continuation(std::shared_ptr<State> state) : state_(std::move(state)) {}

        std::shared_ptr<State> state_;
    };

    AsyncStream() : state_(std::make_shared<State>()), consumer_(std::make_shared<Consumer>(state_)) {}

    // A new stream and the producer side that feeds it.
    static std::pair<AsyncStream, Continuation> makeStream() {
        AsyncStream stream;
        return {stream, stream.continuation()};
    }

    Continuation continuation() const { return Continuation(state_); }

    // The consumer gives up: what is buffered is dropped, later values are refused and next() returns no
    // value. A stream that has already ended stays as it ended.
    void cancel() { terminate(*state_, nullptr, true); }

    std::optional<T> next() {
        const CancellationToken token = Task::current();
        std::unique_lock lock(state_->mutex);
        state_->changed.wait(lock, token.stopToken(), [this] { return !state_->buffer.empty() || state_->terminated; });
        if (token.isCancelled()) {
            lock.unlock();
            terminate(*state_, nullptr, true);
            const std::lock_guard relock(state_->mutex);
            state_->buffer.clear();
            state_->error = nullptr;
            return std::nullopt;
        }
        if (!state_->buffer.empty()) {
            T value = std::move(state_->buffer.front());
            state_->buffer.pop_front();
            return value;
        }
        if (state_->error) {
            std::rethrow_exception(std::exchange(state_->error, nullptr));
        }
        return std::nullopt;
    }

    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;

        Iterator() = default;
        explicit Iterator(AsyncStream* stream) : stream_(stream), current_(stream->next()) {}

        T& operator*() { return *current_; }
        Iterator& operator++() {
            current_ = stream_->next();
            return *this;
        }
        bool operator==(std::default_sentinel_t) const { return !current_.has_value(); }

    private:
        AsyncStream* stream_ = nullptr;
        std::optional<T> current_;
    };

    Iterator begin() { return Iterator(this); }
    std::default_sentinel_t end() { return {}; }

private:
    std::shared_ptr<State> state_;
    std::shared_ptr<Consumer> consumer_;
};

} // namespace platform::core
