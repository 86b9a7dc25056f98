#include "QuorlAudio/models/RetryPolicy.hpp"

#include "QuorlAudio/models/DownloadError.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"

#include "platform/core/CancellationToken.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/core/Task.hpp"
#include "platform/net/UrlError.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace quorl {
namespace {

constexpr double serverDelayCap = 30;

using platform::net::UrlError;

constexpr std::array retryableTransportFailures = {
    UrlError::Code::timedOut,
    UrlError::Code::cannotFindHost,
    UrlError::Code::cannotConnectToHost,
    UrlError::Code::networkConnectionLost,
    UrlError::Code::dnsLookupFailed,
    UrlError::Code::resourceUnavailable,
    UrlError::Code::notConnectedToInternet,
    UrlError::Code::secureConnectionFailed,
};

bool isTransportFailure(const platform::core::SystemError& error) { return error.domain() == UrlError::errorDomain; }

bool isServerErrorStatus(const std::exception_ptr& error) {
    if (!error) {
        return false;
    }
    try {
        std::rethrow_exception(error);
    } catch (const platform::core::SystemError& systemError) {
        return systemError.domain() == "HTTP" && systemError.code() >= 500 && systemError.code() <= 599;
    } catch (...) {
        return false;
    }
}

bool isRetryableDownloadError(const DownloadError& error) {
    using Kind = DownloadError::Kind;
    if (error.kind() == Kind::downloadFailed) {
        return isServerErrorStatus(error.underlying());
    }
    return error.kind() == Kind::rateLimited || error.kind() == Kind::invalidArtifact;
}

bool hasCode(const platform::core::SystemError& error, UrlError::Code code) {
    return error.code() == static_cast<std::int64_t>(code);
}

std::string retryLine(int attempt, const std::string& label, const std::exception_ptr& failure, double wait,
                      bool serverAskedLonger) {
    const std::string seconds = fixedDecimalText(wait, 1);
    std::string line = "Download attempt ";
    line.append(std::to_string(attempt)).append(" for ").append(label).append(" failed: ");
    line.append(platform::core::describe(failure)).append(". Retrying in ").append(seconds).append("s");
    line.append(serverAskedLonger ? " (server Retry-After)" : "").append(".");
    return line;
}

} // namespace

RetryPolicy::RetryAfterHint::RetryAfterHint(std::exception_ptr underlying, double retryAfter)
    : Error(platform::core::describe(underlying)), underlying_(std::move(underlying)), retryAfter_(retryAfter) {}

void RetryPolicy::runWithRetry(const std::string& label, int maxAttempts, double minBackoff, const AppLogger& logger,
                               const std::function<void(int attempt)>& operation, platform::core::Sleeper& sleeper) {
    for (int attempt = 1;; ++attempt) {
        std::exception_ptr failure;
        double serverDelay = 0;
        try {
            operation(attempt);
            return;
        } catch (const RetryAfterHint& hint) {
            failure = hint.underlying();
            serverDelay = hint.retryAfter();
        } catch (...) {
            failure = std::current_exception();
        }
        if (attempt >= maxAttempts || !isRetryable(failure)) {
            std::rethrow_exception(failure);
        }
        const double base = minBackoff * std::pow(2.0, attempt - 1);
        const double capped = std::min(serverDelay, serverDelayCap);
        const double wait = std::max(base, capped);
        logger.warning(retryLine(attempt, label, failure, wait, base < capped));
        const auto nanoseconds = static_cast<std::int64_t>(wait * 1e9);
        sleeper.sleep(std::chrono::nanoseconds(nanoseconds), platform::core::Task::current());
    }
}

bool RetryPolicy::isRetryable(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const platform::core::SystemError& systemError) {
        if (!isTransportFailure(systemError)) {
            return false;
        }
        return std::ranges::any_of(retryableTransportFailures,
                                   [&](UrlError::Code code) { return hasCode(systemError, code); });
    } catch (const DownloadError& downloadError) {
        return isRetryableDownloadError(downloadError);
    } catch (...) {
        return false;
    }
}

bool RetryPolicy::isCancellation(const std::exception_ptr& error) {
    // Platform errors can only be built from errors that already exist, so the chain has no cycle.
    for (std::exception_ptr current = error; current;) {
        try {
            std::rethrow_exception(current);
        } catch (const platform::core::CancellationError&) {
            return true;
        } catch (const platform::core::SystemError& systemError) {
            if (isTransportFailure(systemError) && hasCode(systemError, UrlError::Code::cancelled)) {
                return true;
            }
            current = systemError.underlying();
        } catch (...) {
            return false;
        }
    }
    return false;
}

} // namespace quorl
