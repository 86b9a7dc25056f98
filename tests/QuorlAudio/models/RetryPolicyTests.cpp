#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "platform/net/UrlError.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/RecordingSleeper.hpp"

#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::core::CancellationError;
using platform::core::SystemError;
using platform::net::UrlError;
using testing::RecordingSleeper;

std::exception_ptr serverError(int status) {
    return std::make_exception_ptr(
        DownloadError::downloadFailed("a.bin", std::make_exception_ptr(httpStatusError(status))));
}

std::exception_ptr rateLimit(std::optional<double> retryAfter) {
    auto error =
        std::make_exception_ptr(DownloadError::rateLimited(429, "Rate limited while downloading a.bin (HTTP 429)"));
    return retryAfter ? std::make_exception_ptr(RetryPolicy::RetryAfterHint(error, *retryAfter)) : error;
}

std::exception_ptr transportError(UrlError::Code code) { return std::make_exception_ptr(UrlError(code, "transport")); }

// Runs withRetry over attempts that fail with `failures` in turn and then succeed with the attempt number.
struct RetryRun {
    explicit RetryRun(std::vector<std::exception_ptr> failures, int maxAttempts = 4)
        : failures(std::move(failures)), maxAttempts(maxAttempts) {}

    std::vector<std::exception_ptr> failures;
    int maxAttempts;
    RecordingSleeper sleeper;
    int attempts = 0;

    int run() {
        return RetryPolicy::withRetry(
            "a.bin", maxAttempts, 1.0, AppLogger("DownloadUtils"),
            [&](int attempt) {
                EXPECT_EQ(attempt, ++attempts);
                if (static_cast<std::size_t>(attempt) <= failures.size()) {
                    std::rethrow_exception(failures[static_cast<std::size_t>(attempt - 1)]);
                }
                return attempt;
            },
            sleeper);
    }
};

std::vector<std::string> messages(const testsupport::RecordingLogSink& sink) {
    std::vector<std::string> lines;
    for (const auto& record : sink.records()) {
        EXPECT_EQ(record.category, "DownloadUtils");
        EXPECT_EQ(record.type, platform::sys::LogType::error);
        lines.push_back(record.message);
    }
    return lines;
}

const std::string http500 = "Failed to download a.bin: The operation couldn\u2019t be completed. (HTTP error 500.)";
const std::string limited = "Hugging Face rate limit encountered: Rate limited while downloading a.bin (HTTP 429)";

struct WaitCase {
    std::string name;
    std::vector<std::exception_ptr> failures;
    std::vector<double> waits;
    std::vector<std::string> lines;
};

TEST(RetryPolicy, WaitsTheDoublingBackOffOrTheCappedServerDelayWhenLongerAndLogsEachRetry) {
    const std::vector<WaitCase> cases = {
        {"server errors",
         {serverError(500), serverError(500), serverError(500)},
         {1, 2, 4},
         {"Download attempt 1 for a.bin failed: " + http500 + ". Retrying in 1.0s.",
          "Download attempt 2 for a.bin failed: " + http500 + ". Retrying in 2.0s.",
          "Download attempt 3 for a.bin failed: " + http500 + ". Retrying in 4.0s."}},
        {"server delay above the cap",
         {rateLimit(45)},
         {30},
         {"Download attempt 1 for a.bin failed: " + limited + ". Retrying in 30.0s (server Retry-After)."}},
        {"server delay equal to, then below the back-off",
         {rateLimit(1.0), rateLimit(1.0)},
         {1, 2},
         {"Download attempt 1 for a.bin failed: " + limited + ". Retrying in 1.0s.",
          "Download attempt 2 for a.bin failed: " + limited + ". Retrying in 2.0s."}},
        {"fractional server delay",
         {rateLimit(2.5)},
         {2.5},
         {"Download attempt 1 for a.bin failed: " + limited + ". Retrying in 2.5s (server Retry-After)."}},
        {"lost connection",
         {transportError(UrlError::Code::networkConnectionLost)},
         {1},
         {"Download attempt 1 for a.bin failed: transport. Retrying in 1.0s."}},
    };
    for (const auto& [name, failures, waits, lines] : cases) {
        testsupport::RecordingLogSink sink;
        RetryRun run(failures);
        EXPECT_EQ(run.run(), static_cast<int>(failures.size()) + 1) << name;
        EXPECT_EQ(run.sleeper.waits(), waits) << name;
        EXPECT_EQ(messages(sink), lines) << name;
    }
}

TEST(RetryPolicy, ThrowsTheLastFailureUnwrappedAfterTheLastAttempt) {
    RetryRun run({rateLimit(3), rateLimit(3), rateLimit(3), rateLimit(3)});
    try {
        run.run();
        FAIL() << "expected the rate limit";
    } catch (const DownloadError& error) {
        EXPECT_EQ(error.kind(), DownloadError::Kind::rateLimited);
    }
    EXPECT_EQ(run.attempts, 4);
    EXPECT_EQ(run.sleeper.waits(), (std::vector<double>{3, 3, 4}));
}

struct StopCase {
    std::string name;
    std::exception_ptr failure;
    int maxAttempts;
};

TEST(RetryPolicy, StopsAtOnceWithoutWaitingOrLoggingWhenNoRetryIsDue) {
    const std::vector<StopCase> cases = {
        {"single attempt", serverError(500), 1},
        {"client error", serverError(404), 4},
        {"cancellation", std::make_exception_ptr(CancellationError()), 4},
        {"cancelled transfer", transportError(UrlError::Code::cancelled), 4},
        {"file system", std::make_exception_ptr(SystemError::fromErrno(28, "write")), 4},
        {"client error with a server delay", std::make_exception_ptr(RetryPolicy::RetryAfterHint(serverError(404), 5)),
         4},
    };
    for (const auto& [name, failure, maxAttempts] : cases) {
        testsupport::RecordingLogSink sink;
        RetryRun run({failure}, maxAttempts);
        try {
            run.run();
            ADD_FAILURE() << name << ": nothing thrown";
        } catch (const RetryPolicy::RetryAfterHint&) {
            ADD_FAILURE() << name << ": the hint escaped";
        } catch (const std::exception& error) {
            EXPECT_EQ(error.what(), platform::core::describe(failure)) << name;
        }
        EXPECT_EQ(run.attempts, 1) << name;
        EXPECT_TRUE(run.sleeper.waits().empty()) << name;
        EXPECT_TRUE(sink.records().empty()) << name;
    }
}

TEST(RetryPolicy, ACancellationDuringTheWaitEndsTheLoop) {
    platform::core::CancellationSource source;
    const platform::core::Task::Scope scope(source.token());
    RetryRun run({serverError(503)});
    run.sleeper.onSleep = [&] { source.cancel(); };
    EXPECT_THROW(run.run(), CancellationError);
    EXPECT_EQ(run.attempts, 1);
}

struct ClassificationCase {
    std::string name;
    std::exception_ptr error;
    bool retryable;
    bool cancellation;
};

TEST(RetryPolicy, TellsRetryableFailuresAndCancellationsApart) {
    using Code = UrlError::Code;
    const auto cancelled = transportError(Code::cancelled);
    const std::vector<ClassificationCase> cases = {
        {"timed out", transportError(Code::timedOut), true, false},
        {"host not found", transportError(Code::cannotFindHost), true, false},
        {"cannot connect", transportError(Code::cannotConnectToHost), true, false},
        {"connection lost", transportError(Code::networkConnectionLost), true, false},
        {"lookup failed", transportError(Code::dnsLookupFailed), true, false},
        {"resource unavailable", transportError(Code::resourceUnavailable), true, false},
        {"offline", transportError(Code::notConnectedToInternet), true, false},
        {"handshake", transportError(Code::secureConnectionFailed), true, false},
        {"bad response", transportError(Code::badServerResponse), false, false},
        {"transfer cancelled", cancelled, false, true},
        {"task cancelled", std::make_exception_ptr(CancellationError()), false, true},
        {"cancellation underneath", std::make_exception_ptr(SystemError("Wrapper", 1, "w", cancelled)), false, true},
        {"cancellation two levels down",
         std::make_exception_ptr(
             SystemError("Outer", 1, "o", std::make_exception_ptr(SystemError("Inner", 2, "i", cancelled)))),
         false, true},
        {"task cancellation underneath",
         std::make_exception_ptr(SystemError("Wrapper", 1, "w", std::make_exception_ptr(CancellationError()))), false,
         true},
        {"failure underneath", std::make_exception_ptr(SystemError("Wrapper", 1, "w", transportError(Code::timedOut))),
         false, false},
        {"rate limited", rateLimit(std::nullopt), true, false},
        {"invalid artifact", std::make_exception_ptr(DownloadError::invalidArtifact("a", "empty file")), true, false},
        {"HTTP 500", serverError(500), true, false},
        {"HTTP 503", serverError(503), true, false},
        {"HTTP 599", serverError(599), true, false},
        {"HTTP 404", serverError(404), false, false},
        {"HTTP 600", serverError(600), false, false},
        {"time-out inside a download failure",
         std::make_exception_ptr(DownloadError::downloadFailed("a", transportError(Code::timedOut))), false, false},
        {"download failure without an underlying error",
         std::make_exception_ptr(DownloadError::downloadFailed("a", nullptr)), false, false},
        {"cancellation inside a download failure",
         std::make_exception_ptr(DownloadError::downloadFailed("a", cancelled)), false, false},
        {"offline", std::make_exception_ptr(DownloadError::networkDisabled("download(a)")), false, false},
        {"not found", std::make_exception_ptr(DownloadError::modelNotFound("a")), false, false},
        {"HTML", std::make_exception_ptr(DownloadError::htmlErrorResponse("a", "<")), false, false},
        {"invalid response", std::make_exception_ptr(DownloadError::invalidResponse()), false, false},
        {"bare HTTP 500", std::make_exception_ptr(httpStatusError(500)), false, false},
        {"bad URL", std::make_exception_ptr(ModelRegistry::Error::invalidURL("a b")), false, false},
        {"other", std::make_exception_ptr(std::runtime_error("other")), false, false},
    };
    for (const auto& [name, error, retryable, cancellation] : cases) {
        EXPECT_EQ(RetryPolicy::isRetryable(error), retryable) << name;
        EXPECT_EQ(RetryPolicy::isCancellation(error), cancellation) << name;
    }
}

} // namespace
} // namespace quorl
