#include "HubTest.hpp"
#include "LogLines.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/FileDownloader.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using testsupport::errorText;
using testsupport::fileContents;
using testsupport::letterPattern;
using testsupport::LoopbackHub;

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// One hub file, "model.bin", served with the strong validator "v1", and its destination in a cache folder.
class FileDownloaderTest : public testing::HubTest {
protected:
    FileDownloaderTest() {
        serve(LoopbackHub::File{.content = content,
                                .etag = "\"v1\"",
                                .lastModified = std::nullopt,
                                .contentType = "application/octet-stream"});
    }

    void serve(LoopbackHub::File file) { hub.putFile(repo, "model.bin", std::move(file)); }

    FileDownloader::Outcome ensure(std::int64_t size) {
        return FileDownloader::ensure({.file = RemoteFile{.path = "model.bin", .size = size},
                                       .from = repo,
                                       .at = destination,
                                       .configuration = platform::net::SessionConfiguration{},
                                       .onBytes =
                                           [this](std::int64_t written, std::int64_t total) {
                                               std::lock_guard lock(mutex);
                                               progress.emplace_back(written, total);
                                               // Every reported byte is already in the file, not held in memory.
                                               everyReportedByteOnDisk &=
                                                   static_cast<std::int64_t>(fs::file_size(partial)) == written;
                                           }},
                                      access());
    }

    FileDownloader::Outcome ensure() { return ensure(static_cast<std::int64_t>(content.size())); }

    std::vector<LoopbackHub::RecordedRequest> fileRequests() const {
        return hub.requestsFor(LoopbackHub::filePath(repo, "model.bin"));
    }

    const std::string content = letterPattern(300000);
    const fs::path destination = folder / "cache" / "model.bin";
    const fs::path partial = folder / "cache" / "model.bin.partial";
    const fs::path validator = folder / "cache" / "model.bin.partial.etag";
    testsupport::RecordingLogSink sink;
    std::mutex mutex;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    bool everyReportedByteOnDisk = true;
};

TEST_F(FileDownloaderTest, StreamsTheFileToDiskThroughThePartialFileAndMovesItIntoPlace) {
    EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), content);
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_FALSE(fs::exists(validator));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), (std::pair<std::int64_t, std::int64_t>{300000, 300000}));
    EXPECT_TRUE(everyReportedByteOnDisk);
    ASSERT_EQ(fileRequests().size(), 1u);
    EXPECT_FALSE(fileRequests()[0].header("Range"));
}

TEST_F(FileDownloaderTest, LeavesAPresentDestinationAloneAndMakesAnEmptyFileWithoutAskingEvenOffline) {
    for (const bool offline : {false, true}) {
        this->offline.set(offline);
        write(destination, std::string(content.size(), '#'));
        EXPECT_EQ(ensure(), FileDownloader::Outcome::alreadyPresent) << offline;
        write(destination, "");
        EXPECT_EQ(ensure(-1), FileDownloader::Outcome::alreadyPresent) << offline;
        fs::remove(destination);
        EXPECT_EQ(ensure(0), FileDownloader::Outcome::createdEmpty) << offline;
        EXPECT_EQ(fs::file_size(destination), 0u) << offline;
        fs::remove(destination);
    }
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(FileDownloaderTest, FetchesAgainAPresentFileWhoseSizeIsNotTheListedOne) {
    write(destination, content.substr(0, 1000));

    EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), content);
    ASSERT_EQ(fileRequests().size(), 1u);
    EXPECT_FALSE(fileRequests()[0].header("Range"));
}

TEST_F(FileDownloaderTest, RefusesOfflineBeforeTouchingThePartialFileAndDoesNotRetry) {
    offline.set(true);
    // Without a validator this would be discarded by any attempt that got further.
    write(partial, "0123456789");

    EXPECT_EQ(errorText([this] { ensure(); }), "QuorlAudio offline mode: download(model.bin) blocked");

    EXPECT_EQ(fileContents(partial), "0123456789");
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(sleeper.waits().empty());
}

TEST_F(FileDownloaderTest, ResumesACutTransferWithRangeAndIfRangeWithoutFetchingItsBytesAgain) {
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"), LoopbackHub::Fault::dropAfter(100000));

    EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), content);
    const auto requests = fileRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("Range"), "bytes=100000-");
    EXPECT_EQ(requests[1].header("If-Range"), "\"v1\"");
    EXPECT_EQ(sleeper.waits(), std::vector<double>{1});
    const auto lines = testing::logLines(sink);
    EXPECT_NE(std::ranges::find(lines, "Resuming model.bin from byte 100000 (attempt 2)"), lines.end());
    EXPECT_TRUE(everyReportedByteOnDisk);
}

TEST_F(FileDownloaderTest, ResumesAPartialFileLeftByAnEarlierRunCountingItsBytes) {
    write(partial, content.substr(0, 1000));
    write(validator, "\"v1\"\n");

    EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), content);
    ASSERT_EQ(fileRequests().size(), 1u);
    EXPECT_EQ(fileRequests()[0].header("Range"), "bytes=1000-");
    EXPECT_EQ(fileRequests()[0].header("If-Range"), "\"v1\"");
    EXPECT_EQ(testing::logLines(sink), std::vector<std::string>{"Resuming model.bin from byte 1000 (attempt 1)"});
    ASSERT_FALSE(progress.empty());
    EXPECT_GT(progress.front().first, 1000);
}

TEST_F(FileDownloaderTest, StartsAfreshWithTheNewValidatorWhenTheServerCopyChanged) {
    write(partial, std::string(6000, '#'));
    write(validator, "\"old\"");
    // The changed file is answered whole, and that answer is cut too.
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"), LoopbackHub::Fault::dropAfter(5000));

    EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), content);
    const auto requests = fileRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("If-Range"), "\"old\"");
    EXPECT_EQ(requests[1].header("Range"), "bytes=5000-");
    EXPECT_EQ(requests[1].header("If-Range"), "\"v1\"");
}

TEST_F(FileDownloaderTest, StartsOverWhenTheServerSplicesANewerCopyOntoTheResumedFile) {
    // The server replaces the file between two attempts and serves the range of the new copy whatever
    // "If-Range" says.
    hub.setHonourIfRange(false);
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"), LoopbackHub::Fault::dropAfter(100000));
    const std::string newer = letterPattern(content.size() + 7).substr(7);
    sleeper.onSleep = [&] {
        serve(LoopbackHub::File{.content = newer,
                                .etag = "\"v2\"",
                                .lastModified = std::nullopt,
                                .contentType = "application/octet-stream"});
    };

    EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), newer);
    const auto requests = fileRequests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].header("Range"), "bytes=100000-");
    EXPECT_FALSE(requests[2].header("Range"));
}

struct ResumedAnswerCase {
    std::string name;
    std::string contentRange;
    std::string body;
    std::string etag;
};

TEST_F(FileDownloaderTest, StartsOverWhenAResumedAnswerDoesNotContinueTheStoredCopy) {
    const std::string rest = content.substr(1000);
    const std::vector<ResumedAnswerCase> cases = {
        {"another validator", "bytes 1000-299999/300000", rest, "\"v2\""},
        {"another total", "bytes 1000-300000/300001", rest + "!", "\"v1\""},
        {"another start", "bytes 999-299999/300000", content.substr(999), "\"v1\""},
        {"an end before the start", "bytes 1000-999/300000", rest, "\"v1\""},
        {"a length other than the range's", "bytes 1000-299999/300000", rest.substr(1), "\"v1\""},
    };
    for (const auto& [name, contentRange, body, etag] : cases) {
        const auto before = fileRequests().size();
        fs::remove(destination);
        write(partial, content.substr(0, 1000));
        write(validator, "\"v1\"");
        hub.failPath(LoopbackHub::filePath(repo, "model.bin"),
                     LoopbackHub::Fault::answer(206, body, {{"ETag", etag}, {"Content-Range", contentRange}}));

        EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded) << name;

        EXPECT_EQ(fileContents(destination), content) << name;
        const auto requests = fileRequests();
        ASSERT_EQ(requests.size() - before, 2u) << name;
        EXPECT_FALSE(requests.back().header("Range")) << name;
    }
}

TEST_F(FileDownloaderTest, ContinuesABodyWithoutALengthThatWasCutHalfWay) {
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"), LoopbackHub::Fault::dropWithoutLengthAfter(100000));

    EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), content);
    const auto requests = fileRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].header("Range"), "bytes=100000-");
}

TEST_F(FileDownloaderTest, StopsWritingAtTheListedSizeAndFailsTheFile) {
    // The hub serves 300000 bytes for a file listed at 1000.
    EXPECT_EQ(errorText([this] { ensure(1000); }),
              "Downloaded artifact for " + partial.string() +
                  " is invalid (body longer than the listed size of 1000 bytes); refusing to cache it.");

    EXPECT_EQ(fileRequests().size(), 4u);
    for (const auto& [written, total] : progress) {
        EXPECT_LE(written, 1000);
    }
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_FALSE(fs::exists(destination));
}

TEST_F(FileDownloaderTest, RefusesAListedSizeTheCacheCannotHoldWithoutARequest) {
    const std::string text = errorText([this] { ensure(std::int64_t{1} << 62); });

    EXPECT_TRUE(text.starts_with("Downloaded artifact for model.bin is invalid (listed size of 4611686018427387904 "
                                 "bytes exceeds the "))
        << text;
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(sleeper.waits().empty());
}

TEST_F(FileDownloaderTest, FetchesAgainAFileWhoseContentHashIsNotTheListedOne) {
    std::string corrupted = content;
    corrupted[150000] = '#';
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"),
                 LoopbackHub::Fault::answer(200, corrupted, {{"ETag", "\"v1\""}}));
    // The SHA-256 of the served content, computed with sha256sum.
    const RemoteFile file{.path = "model.bin",
                          .size = 300000,
                          .sha256 = "4bd69805a3b5a521c77aa44b279ef1a1cdbb896a6820ed46e0400f7c79462762"};

    EXPECT_EQ(FileDownloader::ensure({.file = file, .from = repo, .at = destination}, access()),
              FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), content);
    const auto requests = fileRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[1].header("Range"));
    const auto lines = testing::logLines(sink);
    EXPECT_NE(std::ranges::find_if(
                  lines, [](const std::string& line) { return line.find("SHA-256 mismatch") != std::string::npos; }),
              lines.end());
}

TEST_F(FileDownloaderTest, DiscardsPartialBytesWithoutAValidator) {
    write(partial, std::string(1000, '#'));

    EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), content);
    ASSERT_EQ(fileRequests().size(), 1u);
    EXPECT_FALSE(fileRequests()[0].header("Range"));
}

struct CompletePartialCase {
    std::string name;
    std::string partialContent;
    std::size_t requests;
};

TEST_F(FileDownloaderTest, MovesACompletePartialFileIntoPlaceUnlessItIsAnHtmlPage) {
    const std::string page = "<!DOCTYPE html>" + std::string(content.size() - 15, ' ');
    const std::vector<CompletePartialCase> cases = {
        {"valid", content, 0},
        {"an HTML page of the right size", page, 1},
    };
    for (const auto& [name, partialContent, requests] : cases) {
        const auto before = fileRequests().size();
        progress.clear();
        write(partial, partialContent);
        write(validator, "\"v1\"");

        EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded) << name;

        EXPECT_EQ(fileContents(destination), content) << name;
        EXPECT_EQ(fileRequests().size() - before, requests) << name;
        EXPECT_EQ(progress.empty(), requests == 0) << name;
        fs::remove(destination);
    }
}

struct ValidatorCase {
    std::string name;
    LoopbackHub::File file;
    // The validator the resumed attempt sends; none means it starts over without a range.
    std::optional<std::string> ifRange;
};

TEST_F(FileDownloaderTest, KeepsAStrongETagOrElseTheLastModifiedDateToResumeWith) {
    const std::string date = "Wed, 21 Oct 2015 07:28:00 GMT";
    const std::string binary = "application/octet-stream";
    const std::vector<ValidatorCase> cases = {
        {"strong ETag",
         {.content = content, .etag = "\"strong\"", .lastModified = date, .contentType = binary},
         "\"strong\""},
        {"weak ETag", {.content = content, .etag = "W/\"weak\"", .lastModified = date, .contentType = binary}, date},
        {"weak ETag only",
         {.content = content, .etag = "W/\"weak\"", .lastModified = std::nullopt, .contentType = binary},
         std::nullopt},
    };
    for (const auto& [name, file, ifRange] : cases) {
        serve(file);
        fs::remove(destination);
        const auto before = fileRequests().size();
        hub.failPath(LoopbackHub::filePath(repo, "model.bin"), LoopbackHub::Fault::dropAfter(1000));

        EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded) << name;

        EXPECT_EQ(fileContents(destination), content) << name;
        const auto resumed = fileRequests().at(before + 1);
        EXPECT_EQ(resumed.header("If-Range"), ifRange) << name;
        EXPECT_EQ(resumed.header("Range"), ifRange ? std::optional<std::string>("bytes=1000-") : std::nullopt) << name;
    }
}

TEST_F(FileDownloaderTest, StartsOverAfterARefusedRange) {
    write(partial, content.substr(0, 1000));
    write(validator, "\"v1\"");
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"), LoopbackHub::Fault::answer(416));

    EXPECT_EQ(ensure(), FileDownloader::Outcome::downloaded);

    EXPECT_EQ(fileContents(destination), content);
    const auto requests = fileRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("Range"), "bytes=1000-");
    EXPECT_FALSE(requests[1].header("Range"));
    EXPECT_EQ(sleeper.waits(), std::vector<double>{1});
}

struct RefusedCase {
    std::string name;
    LoopbackHub::Fault fault;
    std::int64_t expectedSize;
    std::string reason;
};

TEST_F(FileDownloaderTest, RefusesHtmlAnswersAndWrongSizesAndDiscardsThem) {
    const std::vector<RefusedCase> cases = {
        {"HTML content type", LoopbackHub::Fault::html(200), 300000,
         "server returned Content-Type: text/html; charset=utf-8"},
        {"markup body", LoopbackHub::Fault::answer(200, "<?xml version=\"1.0\"?><Error/>"), -1,
         "response body begins with HTML markup"},
        {"empty body", LoopbackHub::Fault::answer(200), -1, "empty file"},
        {"one byte short", LoopbackHub::Fault::answer(200, content.substr(1)), 300000,
         "size mismatch (expected 300000 bytes, got 299999)"},
    };
    for (const auto& [name, fault, expectedSize, reason] : cases) {
        hub.failPath(LoopbackHub::filePath(repo, "model.bin"), fault, 4);

        EXPECT_EQ(errorText([&] { ensure(expectedSize); }),
                  "Downloaded artifact for model.bin is invalid (" + reason + "); refusing to cache it.")
            << name;

        EXPECT_FALSE(fs::exists(partial)) << name;
        EXPECT_FALSE(fs::exists(destination)) << name;
    }
    EXPECT_EQ(fileRequests().size(), 16u);
}

class FetchDataTest : public FileDownloaderTest {
protected:
    std::vector<std::uint8_t> fetch() {
        return FileDownloader::fetchData(ModelRegistry::resolveModel(repo, "model.bin"), "model.bin", 4, 1.0,
                                         platform::net::SessionConfiguration{}, access());
    }
};

TEST_F(FetchDataTest, ReturnsTheBodyHonouringTheServersDelay) {
    hub.failPath(LoopbackHub::filePath(repo, "model.bin"),
                 LoopbackHub::Fault::answer(429, "slow down", {{"Retry-After", "3"}}));

    const auto body = fetch();

    EXPECT_EQ(std::string(body.begin(), body.end()), content);
    EXPECT_EQ(sleeper.waits(), std::vector<double>{3});
    EXPECT_EQ(testing::logLines(sink),
              std::vector<std::string>{"Download attempt 1 for model.bin failed: Hugging Face rate limit encountered: "
                                       "Rate limited while fetching model.bin (HTTP 429). Retrying in 3.0s (server "
                                       "Retry-After)."});
}

struct FetchCase {
    LoopbackHub::Fault fault;
    // A refused status is not tried again; a refused body is, every time.
    std::size_t attempts;
    std::string text;
};

TEST_F(FetchDataTest, RefusesFailingStatusesAndHtmlAnswers) {
    const std::vector<FetchCase> cases = {
        {LoopbackHub::Fault::answer(404, "Entry not found"), 1,
         "Failed to download model.bin: The operation couldn\u2019t be completed. (HTTP error 404.)"},
        {LoopbackHub::Fault::html(200), 4,
         "Downloaded artifact for model.bin is invalid (server returned Content-Type: text/html; charset=utf-8); "
         "refusing to cache it."},
        {LoopbackHub::Fault::answer(200), 4,
         "Downloaded artifact for model.bin is invalid (empty file); refusing to cache it."},
        {LoopbackHub::Fault::answer(200, "\n<!doctype HTML><p>busy</p>"), 4,
         "Downloaded artifact for model.bin is invalid (response body begins with HTML markup); refusing to cache "
         "it."},
    };
    for (const auto& [fault, attempts, text] : cases) {
        const auto before = fileRequests().size();
        hub.failPath(LoopbackHub::filePath(repo, "model.bin"), fault, attempts);
        EXPECT_EQ(errorText([this] { fetch(); }), text);
        EXPECT_EQ(fileRequests().size() - before, attempts) << text;
    }
}

TEST_F(FetchDataTest, RefusesOfflineWithoutARequestOrAWait) {
    offline.set(true);
    EXPECT_EQ(errorText([this] { fetch(); }), "QuorlAudio offline mode: fetchFile(model.bin) blocked");
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(sleeper.waits().empty());
}

} // namespace
} // namespace quorl
