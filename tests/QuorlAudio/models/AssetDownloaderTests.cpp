#include "HubTest.hpp"
#include "QuorlAudio/models/AssetDownloader.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::sys::LogType;
using testsupport::fileContents;
using testsupport::LoopbackHub;

class AssetDownloaderTest : public testing::HubTest {
protected:
    AssetDownloaderTest() {
        hub.putFile(repo, "lexicon.json", R"({"hello":"h@loU"})");
        environment.set("HF_TOKEN", "secret");
    }

    AssetDownloader::Descriptor descriptor(const std::string& path, bool skipIfExists,
                                           AssetDownloader::TransferMode mode) const {
        return AssetDownloader::Descriptor{.description = "lexicon",
                                           .remoteURL = ModelRegistry::resolveModel(repo, path),
                                           .destinationURL = destination,
                                           .skipIfExists = skipIfExists,
                                           .transferMode = std::move(mode)};
    }

    std::vector<std::pair<LogType, std::string>> logged() const {
        std::vector<std::pair<LogType, std::string>> lines;
        for (const auto& record : sink.records()) {
            EXPECT_EQ(record.category, "TTS");
            lines.emplace_back(record.type, record.message);
        }
        return lines;
    }

    const std::filesystem::path destination = folder / "cache" / "en" / "lexicon.json";
    const AppLogger logger{"TTS"};
    testsupport::RecordingLogSink sink;
};

TEST_F(AssetDownloaderTest, FetchesIntoANewFolderWithoutTheTokenAndLogsBeforeAndAfter) {
    const auto mode = AssetDownloader::TransferMode::data(AssetDownloader::defaultDataWriter());

    EXPECT_EQ(AssetDownloader::ensure(descriptor("lexicon.json", true, mode), session, logger), destination);

    EXPECT_EQ(fileContents(destination), R"({"hello":"h@loU"})");
    EXPECT_EQ(logged(), (std::vector<std::pair<LogType, std::string>>{
                            {LogType::info, "Downloading lexicon\u2026"},
                            {LogType::info, "Cached lexicon at " + destination.string()}}));
    const auto requests = hub.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("Authorization"), std::nullopt);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(destination.parent_path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(AssetDownloaderTest, SkipsAnExistingFileOnlyWhenAskedTo) {
    std::filesystem::create_directories(destination.parent_path());
    std::ofstream(destination) << "old";
    const auto dataMode = AssetDownloader::TransferMode::data(AssetDownloader::defaultDataWriter());
    const auto fileMode = AssetDownloader::TransferMode::file(AssetDownloader::defaultFileMover());

    AssetDownloader::ensure(descriptor("lexicon.json", true, fileMode), session, logger);
    EXPECT_EQ(fileContents(destination), "old");
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(logged().empty());

    for (const auto& mode : {dataMode, fileMode}) {
        std::ofstream(destination) << "old";
        AssetDownloader::ensure(descriptor("lexicon.json", false, mode), session, logger);
        EXPECT_EQ(fileContents(destination), R"({"hello":"h@loU"})");
    }
    EXPECT_EQ(hub.requests().size(), 2u);
}

TEST_F(AssetDownloaderTest, HandsTheDownloadedTemporaryFileToTheMoverAndRemovesItAfterwards) {
    std::filesystem::path handed;
    const auto mode = AssetDownloader::TransferMode::file(
        [&](const std::filesystem::path& temporaryFile, const std::filesystem::path& target) {
            handed = temporaryFile;
            EXPECT_EQ(fileContents(temporaryFile), R"({"hello":"h@loU"})");
            std::filesystem::copy_file(temporaryFile, target);
        });

    AssetDownloader::ensure(descriptor("lexicon.json", false, mode), session, logger);

    EXPECT_FALSE(handed.empty());
    EXPECT_FALSE(std::filesystem::exists(handed));
    EXPECT_EQ(fileContents(destination), R"({"hello":"h@loU"})");
}

TEST_F(AssetDownloaderTest, RefusesANon2xxAnswerWithItsStatusAndLeavesTheDestinationAlone) {
    for (const auto& mode : {AssetDownloader::TransferMode::data(AssetDownloader::defaultDataWriter()),
                             AssetDownloader::TransferMode::file(AssetDownloader::defaultFileMover())}) {
        try {
            AssetDownloader::ensure(descriptor("missing.json", false, mode), session, logger);
            FAIL() << "expected an invalid response";
        } catch (const AssetDownloader::Error& error) {
            EXPECT_EQ(error.statusCode(), 404);
            EXPECT_STREQ(error.what(), "Unexpected response (status 404) while downloading lexicon");
        }
        EXPECT_FALSE(std::filesystem::exists(destination));
    }
}

TEST_F(AssetDownloaderTest, StoresAnHTMLPageServedWithStatus200LikeAnyBody) {
    hub.failPath(LoopbackHub::filePath(repo, "lexicon.json"), LoopbackHub::Fault::html(200));
    const auto mode = AssetDownloader::TransferMode::data(AssetDownloader::defaultDataWriter());
    AssetDownloader::ensure(descriptor("lexicon.json", false, mode), session, logger);
    EXPECT_EQ(fileContents(destination), LoopbackHub::Fault::html(200).body);
}

TEST_F(AssetDownloaderTest, FetchDataReturnsTheBodyOrTheStatusError) {
    const auto url = ModelRegistry::resolveModel(repo, "lexicon.json");
    const auto body = AssetDownloader::fetchData(url, "lexicon", session, logger);
    EXPECT_EQ(std::string(body.begin(), body.end()), R"({"hello":"h@loU"})");
    EXPECT_EQ(logged(), (std::vector<std::pair<LogType, std::string>>{
                            {LogType::debug, "Fetching lexicon from " + url.absoluteString()}}));

    hub.failPath(LoopbackHub::filePath(repo, "lexicon.json"), LoopbackHub::Fault::answer(503));
    try {
        AssetDownloader::fetchData(url, "lexicon", session, logger);
        FAIL() << "expected an invalid response";
    } catch (const AssetDownloader::Error& error) {
        EXPECT_STREQ(error.what(), "Unexpected response (status 503) while downloading lexicon");
    }
    EXPECT_EQ(hub.requests().size(), 2u);
}

} // namespace
} // namespace quorl
