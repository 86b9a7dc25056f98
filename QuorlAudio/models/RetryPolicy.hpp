#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Error.hpp"
#include "platform/core/Sleeper.hpp"

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace quorl {

// How often and how long the hub client waits before trying a failed network operation again, and which
// failures are worth another try or are cancellations.
class RetryPolicy {
public:
    // Carries the delay a server asked for alongside the real failure. Thrown by an attempt, always
    // unwrapped by withRetry, so no caller of withRetry ever sees one.
    class RetryAfterHint : public platform::core::Error {
    public:
        RetryAfterHint(std::exception_ptr underlying, double retryAfter);

        const std::exception_ptr& underlying() const { return underlying_; }
        // Seconds, already zero or more.
        double retryAfter() const { return retryAfter_; }

    private:
        std::exception_ptr underlying_;
        double retryAfter_;
    };

    // Runs `operation` with the attempt number (from 1) until it succeeds, fails with an error that is not
    // retryable, or has run `maxAttempts` times; then throws the last failure. Between attempts it logs a
    // warning and waits minBackoff × 2^(attempt − 1) seconds, or the server's delay (capped at 30 s) when
    // that is longer. A cancellation during the wait ends the loop with the cancellation error.
    template <class Operation>
    static std::invoke_result_t<Operation&, int>
    withRetry(const std::string& label, int maxAttempts, double minBackoff, const AppLogger& logger,
              Operation&& operation, platform::core::Sleeper& sleeper = platform::core::Sleeper::system()) {
        std::optional<std::invoke_result_t<Operation&, int>> result;
        runWithRetry(
            label, maxAttempts, minBackoff, logger, [&](int attempt) { result.emplace(operation(attempt)); }, sleeper);
        return std::move(*result);
    }

    // Transient transport failures, rate limits, invalid artifacts and HTTP 5xx answers.
    static bool isRetryable(const std::exception_ptr& error);
    // A cancelled task or transfer, also when it is the underlying error of a platform error.
    static bool isCancellation(const std::exception_ptr& error);

private:
    static void runWithRetry(const std::string& label, int maxAttempts, double minBackoff, const AppLogger& logger,
                             const std::function<void(int attempt)>& operation, platform::core::Sleeper& sleeper);
};

} // namespace quorl
