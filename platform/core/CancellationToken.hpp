#pragma once

#include "platform/core/Error.hpp"

#include <functional>
#include <stop_token>

namespace platform::core {

// Thrown by an operation that noticed its task was cancelled. Never retried, never reported as a failure.
class CancellationError : public Error {
public:
    CancellationError();
};

// A read-only view of a cancellation request. A default token is never cancelled.
class CancellationToken {
public:
    CancellationToken() = default;
    explicit CancellationToken(std::stop_token token) : token_(std::move(token)) {}

    bool isCancelled() const { return token_.stop_requested(); }
    void checkCancellation() const;
    const std::stop_token& stopToken() const { return token_; }

private:
    std::stop_token token_;
};

// Runs a callback once when the token is cancelled (at once, on this thread, if it already is).
// The callback is unregistered when this object is destroyed.
using CancellationCallback = std::stop_callback<std::function<void()>>;

// The owner's side: hands out tokens and cancels them all.
class CancellationSource {
public:
    CancellationToken token() const { return CancellationToken(source_.get_token()); }
    void cancel() { source_.request_stop(); }
    bool isCancelled() const { return source_.stop_requested(); }

private:
    std::stop_source source_;
};

} // namespace platform::core
