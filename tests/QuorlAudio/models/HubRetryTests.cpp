#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/FileDownloader.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "HubTest.hpp"
#include "RecordingSleeper.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quorl {
namespace {

using testsupport::LoopbackHub;

// Retried transfers of one hub file, with the status mapping of the resumable download: rate limits carry
// the server's "Retry-After", other failing statuses become download failures with the HTTP status.
class HubRetryTest : public testing::HubTest {
protected:
    HubRetryTest() { hub.putFile(repo, "model.bin", std::string(4096, 'm')); }

    std::filesystem::path download() {
        return RetryPolicy::withRetry("model.bin", 4, 1.0, AppLogger("DownloadUtils"), [this](int) {
            const auto request = HFClient::request(ModelRegistry::resolveModel(repo, "model.bin"));
            const auto response = FileDownloader::streamDownload(request, partial, 0,
                                                                 platform::net::SessionConfiguration{}, {}, {});
            const int status = response.statusCode;
            if (status == 429 || status == 503) {
                const auto limited = std::make_exception_ptr(DownloadError::rateLimited(
                    status, "Rate limited while downloading model.bin (HTTP " + std::to_string(status) + ")"));
                if (const auto delay = HFClient::retryAfter(response)) {
                    throw RetryPolicy::RetryAfterHint(limited, *delay);
                }
                std::rethrow_exception(limited);
            }
            if (status < 200 || status > 299) {
                throw DownloadError::downloadFailed("model.bin", std::make_exception_ptr(httpStatusError(status)));
            }
            return partial;
        }, sleeper);
    }

    std::vector<std::string> loggedLines() const {
        std::vector<std::string> lines;
        for (const auto& record : sink.records()) {
            lines.push_back(record.message);
        }
        return lines;
    }

    const std::string path = LoopbackHub::filePath(repo, "model.bin");
    const std::filesystem::path partial = folder / "model.bin.partial";
    testing::RecordingSleeper sleeper;
    testsupport::RecordingLogSink sink;
};

TEST_F(HubRetryTest, RetriesRateLimitsAndServerErrorsHonouringRetryAfter) {
    hub.failPath(path, LoopbackHub::Fault::answer(503, "busy", {{"Retry-After", "7"}}));
    hub.failPath(path, LoopbackHub::Fault::answer(500, "oops"));
    hub.failPath(path, LoopbackHub::Fault::answer(429, "slow down", {{"Retry-After", "0.5"}}));

    EXPECT_EQ(download(), partial);

    EXPECT_EQ(std::filesystem::file_size(partial), 4096u);
    EXPECT_EQ(hub.requestsFor(path).size(), 4u);
    EXPECT_EQ(sleeper.waits(), (std::vector<double>{7, 2, 4}));
    EXPECT_EQ(loggedLines(),
              (std::vector<std::string>{
                  "Download attempt 1 for model.bin failed: Hugging Face rate limit encountered: Rate limited while "
                  "downloading model.bin (HTTP 503). Retrying in 7.0s (server Retry-After).",
                  "Download attempt 2 for model.bin failed: Failed to download model.bin: The operation couldn\u2019t "
                  "be completed. (HTTP error 500.). Retrying in 2.0s.",
                  "Download attempt 3 for model.bin failed: Hugging Face rate limit encountered: Rate limited while "
                  "downloading model.bin (HTTP 429). Retrying in 4.0s.",
              }));
}

TEST_F(HubRetryTest, DoesNotRetryAMissingFile) {
    hub.failPath(path, LoopbackHub::Fault::answer(404, "Entry not found"));
    try {
        download();
        FAIL() << "expected the download failure";
    } catch (const DownloadError& error) {
        EXPECT_STREQ(error.what(),
                     "Failed to download model.bin: The operation couldn\u2019t be completed. (HTTP error 404.)");
    }
    EXPECT_EQ(hub.requestsFor(path).size(), 1u);
    EXPECT_TRUE(sleeper.waits().empty());
    EXPECT_TRUE(loggedLines().empty());
}

TEST_F(HubRetryTest, ACancellationDuringTheBackOffIsNotRetried) {
    hub.failPath(path, LoopbackHub::Fault::answer(500), 3);
    platform::core::CancellationSource source;
    const platform::core::Task::Scope scope(source.token());
    sleeper.onSleep = [&] { source.cancel(); };

    EXPECT_THROW(download(), platform::core::CancellationError);
    EXPECT_EQ(hub.requestsFor(path).size(), 1u);
}

} // namespace
} // namespace quorl
