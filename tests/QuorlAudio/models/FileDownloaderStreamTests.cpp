#include "HubTest.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/FileDownloader.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/core/Task.hpp"
#include "platform/net/UrlError.hpp"
#include "tests/support/FileContents.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorl {
namespace {

using testsupport::fileContents;
using testsupport::letterPattern;
using testsupport::LoopbackHub;

void write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// What the callbacks of one transfer saw.
struct Observed {
    std::mutex mutex;
    std::vector<int> responses;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    bool progressBeforeResponse = false;
};

class StreamDownloadTest : public testing::HubTest {
protected:
    StreamDownloadTest() { hub.putFile(repo, "model.bin", content); }

    platform::net::Request requestFrom(std::int64_t offset, const std::optional<std::string>& validator,
                                       const std::string& path = "model.bin") const {
        auto request = HFClient::request(ModelRegistry::resolveModel(repo, path));
        if (offset > 0) {
            request.headers.set("Range", "bytes=" + std::to_string(offset) + "-");
        }
        if (validator) {
            request.headers.set("If-Range", *validator);
        }
        return request;
    }

    platform::net::Response transfer(const platform::net::Request& request, std::int64_t offset,
                                     const std::function<void(std::int64_t)>& afterChunk = {}) {
        return FileDownloader::streamDownload(
            request, partial, offset, platform::net::SessionConfiguration{},
            [this, afterChunk](std::int64_t written, std::int64_t total) {
                {
                    std::lock_guard lock(observed.mutex);
                    observed.progressBeforeResponse |= observed.responses.empty();
                    observed.progress.emplace_back(written, total);
                }
                if (afterChunk) {
                    afterChunk(written);
                }
            },
            [this](const platform::net::Response& response) {
                std::lock_guard lock(observed.mutex);
                observed.responses.push_back(response.statusCode);
            });
    }

    const std::string content = letterPattern(300000);
    const std::filesystem::path partial = folder / "model.bin.partial";
    Observed observed;
};

TEST_F(StreamDownloadTest, AppendsAResumedBodyAndCountsTheResumedPrefix) {
    hub.putFile(repo, "model.bin",
                LoopbackHub::File{.content = content,
                                  .etag = "\"v1\"",
                                  .lastModified = std::nullopt,
                                  .contentType = "application/octet-stream"});
    write(partial, content.substr(0, 1000));

    const auto response = transfer(requestFrom(1000, "\"v1\""), 1000);

    EXPECT_EQ(response.statusCode, 206);
    EXPECT_EQ(fileContents(partial), content);
    EXPECT_EQ(observed.responses, std::vector<int>{206});
    EXPECT_FALSE(observed.progressBeforeResponse);
    ASSERT_FALSE(observed.progress.empty());
    EXPECT_GT(observed.progress.front().first, 1000);
    EXPECT_EQ(observed.progress.back(), (std::pair<std::int64_t, std::int64_t>{300000, 300000}));
    const auto sent = hub.requests().back();
    EXPECT_EQ(sent.header("Range"), "bytes=1000-");
    EXPECT_EQ(sent.header("If-Range"), "\"v1\"");
}

TEST_F(StreamDownloadTest, StartsAfreshWhenTheServerAnswersTheRangeWithTheWholeFile) {
    write(partial, std::string(5000, '#'));

    const auto response = transfer(requestFrom(5000, "\"stale\""), 5000);

    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(fileContents(partial), content);
    EXPECT_LE(observed.progress.front().first, 300000);
    EXPECT_EQ(observed.progress.front().second, 300000);
    EXPECT_EQ(observed.progress.back(), (std::pair<std::int64_t, std::int64_t>{300000, 300000}));
}

TEST_F(StreamDownloadTest, ReturnsOtherStatusesWithoutWritingTheBody) {
    write(partial, "kept");

    const auto response = transfer(requestFrom(4, "\"v1\"", "missing.bin"), 4);

    EXPECT_EQ(response.statusCode, 404);
    EXPECT_EQ(observed.responses, std::vector<int>{404});
    EXPECT_TRUE(observed.progress.empty());
    EXPECT_EQ(fileContents(partial), "kept");
}

TEST_F(StreamDownloadTest, TakesTheTotalFromContentRangeOrFallsBackToTheLength) {
    const std::vector<std::pair<std::string, std::int64_t>> cases = {
        // The total the range names wins over what the length would give.
        {"bytes 1000-1002/5000", 5000},
        {"bytes 1000-1002/*", 1003},
    };
    for (const auto& [contentRange, total] : cases) {
        write(partial, std::string(1000, 'a'));
        observed.progress.clear();
        hub.failPath(LoopbackHub::filePath(repo, "model.bin"),
                     LoopbackHub::Fault::answer(206, "abc", {{"Content-Range", contentRange}}));

        transfer(requestFrom(1000, std::nullopt), 1000);

        EXPECT_EQ(observed.progress, (std::vector<std::pair<std::int64_t, std::int64_t>>{{1003, total}}))
            << contentRange;
        EXPECT_EQ(fileContents(partial), std::string(1000, 'a') + "abc") << contentRange;
    }
}

TEST_F(StreamDownloadTest, EmptiesTheFileAndAsksForARetryWhenARangeResumesAtAnotherByte) {
    write(partial, content.substr(0, 1000));
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"),
                 LoopbackHub::Fault::answer(206, content.substr(0, 10), {{"Content-Range", "bytes 0-9/300000"}}));
    try {
        transfer(requestFrom(1000, std::nullopt), 1000);
        FAIL() << "expected an invalid artifact";
    } catch (const DownloadError& error) {
        EXPECT_EQ(error.kind(), DownloadError::Kind::invalidArtifact);
        EXPECT_EQ(error.reason(),
                  "server resumed at the wrong byte (requested 1000, got Content-Range: bytes 0-9/300000)");
        EXPECT_TRUE(RetryPolicy::isRetryable(std::current_exception()));
    }
    EXPECT_EQ(std::filesystem::file_size(partial), 0u);
    EXPECT_TRUE(observed.progress.empty());
}

TEST_F(StreamDownloadTest, FailsWithTheFileSystemErrorWhenTheDestinationCannotBeOpened) {
    try {
        FileDownloader::streamDownload(requestFrom(0, std::nullopt), folder / "absent" / "model.bin.partial", 0,
                                       platform::net::SessionConfiguration{}, {}, {});
        FAIL() << "expected a file-system error";
    } catch (const platform::core::SystemError& error) {
        EXPECT_EQ(error.domain(), "POSIX");
        EXPECT_FALSE(RetryPolicy::isRetryable(std::current_exception()));
        EXPECT_FALSE(RetryPolicy::isCancellation(std::current_exception()));
    }
}

TEST_F(StreamDownloadTest, AWriteFailureWinsOverTheCancellationItProvokes) {
    const std::filesystem::path full = "/dev/full";
    if (!std::filesystem::exists(full)) {
        GTEST_SKIP() << "needs /dev/full, where every write fails with ENOSPC";
    }
    // A 206 from byte 0 positions at the end, which /dev/full allows; then its first write fails and the
    // transfer is cancelled.
    auto request = requestFrom(0, std::nullopt);
    request.headers.set("Range", "bytes=0-");
    try {
        FileDownloader::streamDownload(request, full, 0, platform::net::SessionConfiguration{}, {}, {});
        FAIL() << "expected the write error";
    } catch (const platform::core::SystemError& error) {
        EXPECT_EQ(error.domain(), "POSIX");
        EXPECT_EQ(error.code(), ENOSPC);
        EXPECT_FALSE(RetryPolicy::isCancellation(std::current_exception()));
    }
}

TEST_F(StreamDownloadTest, KeepsTheBytesOfADroppedConnectionAndReportsARetryableLoss) {
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"), LoopbackHub::Fault::dropAfter(100000));
    try {
        transfer(requestFrom(0, std::nullopt), 0);
        FAIL() << "expected a lost connection";
    } catch (const platform::net::UrlError& error) {
        EXPECT_EQ(error.urlCode(), platform::net::UrlError::Code::networkConnectionLost);
        EXPECT_TRUE(RetryPolicy::isRetryable(std::current_exception()));
    }
    EXPECT_EQ(fileContents(partial), content.substr(0, 100000));
}

TEST_F(StreamDownloadTest, CancellingTheCallingTaskStopsTheTransferWithARecognisedCancellation) {
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"), LoopbackHub::Fault::stallAfter(1000));
    platform::core::CancellationSource source;
    std::promise<void> stalled;
    auto running = std::async(std::launch::async, [&] {
        const platform::core::Task::Scope scope(source.token());
        transfer(requestFrom(0, std::nullopt), 0, [&](std::int64_t written) {
            if (written == 1000) {
                stalled.set_value();
            }
        });
    });
    stalled.get_future().wait();
    source.cancel();
    try {
        running.get();
        FAIL() << "expected the cancellation";
    } catch (...) {
        EXPECT_TRUE(RetryPolicy::isCancellation(std::current_exception()));
        EXPECT_FALSE(RetryPolicy::isRetryable(std::current_exception()));
    }
    EXPECT_EQ(fileContents(partial), content.substr(0, 1000));
}

TEST_F(StreamDownloadTest, ATaskCancelledBeforeTheTransferStartsNeverRunsIt) {
    // A lost cancellation would let the transfer run to its end and return the file.
    platform::core::CancellationSource source;
    source.cancel();
    const platform::core::Task::Scope scope(source.token());
    try {
        transfer(requestFrom(0, std::nullopt), 0);
        FAIL() << "expected the cancellation";
    } catch (...) {
        EXPECT_TRUE(RetryPolicy::isCancellation(std::current_exception()));
    }
    EXPECT_TRUE(observed.progress.empty());
    EXPECT_FALSE(std::filesystem::exists(partial));
}

} // namespace
} // namespace quorl
