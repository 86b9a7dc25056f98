#include "HubTest.hpp"
#include "LogLines.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/FileDownloader.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
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

// Retried transfers of one hub file and what the answers' statuses mean: rate limits carry the server's
// "Retry-After", other failing statuses become download failures with the HTTP status.
class HubRetryTest : public testing::HubTest {
protected:
    HubRetryTest() { hub.putFile(repo, "model.bin", std::string(4096, 'm')); }

    std::filesystem::path download() {
        return FileDownloader::download({.request = HFClient::request(ModelRegistry::resolveModel(repo, "model.bin")),
                                         .path = "model.bin",
                                         .expectedSize = 4096,
                                         .partialFile = partial,
                                         .configuration = platform::net::SessionConfiguration{}},
                                        access());
    }

    const std::string path = LoopbackHub::filePath(repo, "model.bin");
    const std::filesystem::path partial = folder / "model.bin.partial";
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
    EXPECT_EQ(testing::logLines(sink),
              (std::vector<std::string>{
                  "Download attempt 1 for model.bin failed: Hugging Face rate limit encountered: Rate limited while "
                  "downloading model.bin (HTTP 503). Retrying in 7.0s (server Retry-After).",
                  "Download attempt 2 for model.bin failed: Failed to download model.bin: The operation couldn\u2019t "
                  "be completed. (HTTP error 500.). Retrying in 2.0s.",
                  "Download attempt 3 for model.bin failed: Hugging Face rate limit encountered: Rate limited while "
                  "downloading model.bin (HTTP 429). Retrying in 4.0s.",
              }));
}

struct FailureCase {
    int status;
    std::size_t attempts;
    std::vector<double> waits;
};

TEST_F(HubRetryTest, GivesUpOnAServerErrorAfterFourAttemptsAndOnAMissingFileAtOnce) {
    const std::vector<FailureCase> cases = {
        {500, 4, {1, 2, 4}},
        {404, 1, {}},
    };
    for (const auto& [status, attempts, waits] : cases) {
        const auto requestsBefore = hub.requestsFor(path).size();
        const auto waitsBefore = sleeper.waits().size();
        hub.failPath(path, LoopbackHub::Fault::answer(status, "Entry not found"), attempts);
        try {
            download();
            ADD_FAILURE() << status << ": expected the download failure";
        } catch (const DownloadError& error) {
            EXPECT_EQ(error.what(), "Failed to download model.bin: The operation couldn\u2019t be completed. "
                                    "(HTTP error " +
                                        std::to_string(status) + ".)");
        }
        EXPECT_EQ(hub.requestsFor(path).size() - requestsBefore, attempts) << status;
        const auto allWaits = sleeper.waits();
        EXPECT_EQ(std::vector(allWaits.begin() + static_cast<std::ptrdiff_t>(waitsBefore), allWaits.end()), waits)
            << status;
    }
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
