#include "QuorlAudio/asr/multilingual/NemotronMultilingualVariantDownloader.hpp"

#include "MultilingualStreamScript.hpp"
#include "MultilingualTestVariant.hpp"
#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "platform/sys/WholeFile.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/HubEnvironment.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using namespace multilingualstream;
using Downloader = NemotronMultilingualVariantDownloader;
using Manager = StreamingNemotronMultilingualAsrManager;
using platform::sys::LogType;
using testsupport::LoopbackHub;

constexpr const char* category = "NemotronMultilingualStreaming";
constexpr const char* repository = "ZirazEvavirivi/Nemotron-3.5-ASR-Streaming-Multilingual-0.6b-CoreML";
// The vocabulary of the small variant: its blank is 5.
constexpr const char* soundVocabulary = R"({"0": "▁hello", "1": "▁world", "5": "<blank>"})";
constexpr const char* corruptVocabulary = R"({"0": "<blank>", "1": "▁world", "5": "<blank>"})";

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

TEST(NemotronMultilingualVariantDownloaderLanguageTest, LatinLanguagesAreRecognisedByTheirPrefix) {
    struct Case {
        const char* code;
        const char* directory;
    };
    for (const Case& c : {Case{"EN", "latin"}, Case{"de-CH", "latin"}, Case{"pt-BR", "latin"},
                          Case{"esperanto", "latin"}, Case{"zh", "multilingual"}, Case{"ja", "multilingual"},
                          Case{"ru", "multilingual"}, Case{"auto", "multilingual"}, Case{"", "multilingual"}}) {
        EXPECT_EQ(Manager::languageDirectory(c.code), c.directory) << c.code;
    }
}

TEST(NemotronMultilingualVariantDownloaderVocabularyTest, OnlyABlankPieceAtAnotherDecimalIdIsADefect) {
    struct Case {
        const char* name;
        std::string vocabulary;
        bool defective;
    };
    const std::vector<Case> cases{
        {"blank at 0 and at the blank id", R"({"0": "<blank>", "13087": "<blank>"})", true},
        {"blank at the blank id only", R"({"1": "a", "13087": "<blank>"})", false},
        {"blank at a key that is no integer", R"({"x": "<blank>", "13087": "<blank>"})", false},
        {"blank at a signed key", R"({"+7": "<blank>"})", true},
        {"a value that is no string", R"({"0": "<blank>", "1": 7})", false},
        {"no JSON", "<blank>", false},
    };
    testsupport::TemporaryFolder folder;
    writeFile(folder.path() / "metadata.json", "{}");
    for (const Case& c : cases) {
        writeFile(folder.path() / "tokenizer.json", c.vocabulary);
        EXPECT_EQ(Downloader::tokenizerHasCorruptBlankEntry(folder.path() / "tokenizer.json",
                                                            folder.path() / "metadata.json"),
                  c.defective)
            << c.name;
    }
    EXPECT_FALSE(
        Downloader::tokenizerHasCorruptBlankEntry(folder.path() / "tokenizer.json", folder.path() / "missing.json"));
}

class NemotronMultilingualVariantDownloaderTest : public ::testing::Test {
protected:
    NemotronMultilingualVariantDownloaderTest() : variant(smallMetadata()) {
        testsupport::useLoopbackHub(environment, hub);
        environment.set("QUORLAUDIO_JOINT_BATCHED_CU", std::nullopt);
    }

    // The small variant with a package beside its compiled models, as the repository's latin/1120ms.
    void serveVariant() {
        variant.addEncoder({.frames = 14});
        variant.add(Model::decoderJointArgmax);
        writeFile(variant.folder() / "tokenizer.json", soundVocabulary);
        for (const auto& entry : fs::recursive_directory_iterator(variant.folder())) {
            if (entry.is_regular_file()) {
                hub.putFile(repository, "latin/1120ms/" + entry.path().lexically_relative(variant.folder()).string(),
                            platform::sys::wholeFile(entry.path()));
            }
        }
        hub.putFile(repository, "latin/1120ms/encoder.mlpackage/model.json", "{}");
        hub.putFile(repository, "latin/1120ms/encoder.mlpackage/Data/weights.bin", "weights");
    }

    // A cached variant of metadata and vocabulary only.
    void cache(const std::string& vocabulary) {
        writeFile(directory() / "metadata.json", smallMetadata().dump());
        writeFile(directory() / "tokenizer.json", vocabulary);
    }

    fs::path download() {
        return Manager::downloadVariant({.languageCode = "fr",
                                         .chunkMs = 1120,
                                         .to = base.path(),
                                         .progressHandler = [this](const DownloadProgress&) { ++progressReports; }});
    }

    fs::path directory() const { return base.path() / "nemotron-multilingual" / "latin" / "1120ms"; }
    bool requested(const std::string& part) const {
        return std::ranges::any_of(hub.requests(),
                                   [&](const auto& request) { return request.path.find(part) != std::string::npos; });
    }

    testsupport::ScopedEnvironment environment;
    LoopbackHub hub;
    testsupport::TemporaryFolder base;
    testsupport::RecordingLogSink log;
    MultilingualTestVariant variant;
    std::atomic<int> progressReports = 0;
};

TEST_F(NemotronMultilingualVariantDownloaderTest, AnUncachedVariantIsFetchedIntoTheRepositoryFolderWithoutPackages) {
    serveVariant();

    EXPECT_EQ(download(), directory());

    EXPECT_TRUE(requested(LoopbackHub::treePath(repository, "latin/1120ms")));
    EXPECT_FALSE(requested(".mlpackage"));
    EXPECT_EQ(testsupport::fileContents(directory() / "tokenizer.json"), soundVocabulary);
    EXPECT_TRUE(fs::exists(directory() / "encoder.mlmodelc" / "model.json"));
    EXPECT_FALSE(fs::exists(directory() / "encoder.mlpackage"));
    EXPECT_FALSE(fs::exists(directory() / Downloader::incompleteMarkName));
    EXPECT_GT(progressReports, 0);
    EXPECT_EQ(log.messages(category, LogType::info).front(),
              "Downloading multilingual variant latin/1120ms (.mlmodelc only)...");
}

TEST_F(NemotronMultilingualVariantDownloaderTest, ACachedSoundVariantUsesNoNetworkAndReportsNoProgress) {
    cache(soundVocabulary);

    EXPECT_EQ(download(), directory());

    EXPECT_TRUE(hub.requests().empty());
    EXPECT_EQ(progressReports, 0);
    EXPECT_EQ(log.messages(category, LogType::info),
              (std::vector<std::string>{"Using cached multilingual variant at " + directory().string()}));
}

TEST_F(NemotronMultilingualVariantDownloaderTest, ADefectiveVocabularyIsFetchedAgainAndNoBackupStays) {
    serveVariant();
    cache(corruptVocabulary);
    writeFile(directory() / "tokenizer.json.corrupt", "stale");

    EXPECT_EQ(download(), directory());

    EXPECT_EQ(testsupport::fileContents(directory() / "tokenizer.json"), soundVocabulary);
    EXPECT_FALSE(fs::exists(directory() / "tokenizer.json.corrupt"));
    EXPECT_FALSE(requested("metadata.json"));
    EXPECT_EQ(log.messages(category, LogType::info).back(), "Repaired tokenizer.json for latin/1120ms");
}

TEST_F(NemotronMultilingualVariantDownloaderTest, AFailedRepairPutsTheOldVocabularyBackAndStillAnswers) {
    serveVariant();
    cache(corruptVocabulary);
    hub.failPath(LoopbackHub::filePath(repository, "latin/1120ms/tokenizer.json"), LoopbackHub::Fault::answer(404));

    EXPECT_EQ(download(), directory());

    EXPECT_EQ(testsupport::fileContents(directory() / "tokenizer.json"), corruptVocabulary);
    EXPECT_FALSE(fs::exists(directory() / "tokenizer.json.corrupt"));
    const auto warnings = log.messages(category, LogType::error);
    ASSERT_EQ(warnings.size(), 2U);
    EXPECT_TRUE(warnings[1].starts_with("Could not re-download tokenizer.json (")) << warnings[1];
    EXPECT_TRUE(warnings[1].ends_with("); keeping the cached copy")) << warnings[1];
}

TEST_F(NemotronMultilingualVariantDownloaderTest, AHalfFetchedVariantIsFetchedAgainUntilItIsComplete) {
    serveVariant();
    hub.failPath(LoopbackHub::filePath(repository, "latin/1120ms/tokenizer.json"), LoopbackHub::Fault::answer(404));

    EXPECT_THROW(download(), DownloadError);
    ASSERT_TRUE(fs::exists(directory() / "metadata.json"));
    EXPECT_FALSE(fs::exists(directory() / "tokenizer.json"));

    EXPECT_EQ(download(), directory());

    EXPECT_EQ(testsupport::fileContents(directory() / "tokenizer.json"), soundVocabulary);
    EXPECT_FALSE(fs::exists(directory() / Downloader::incompleteMarkName));
    EXPECT_EQ(hub.requestsFor(LoopbackHub::filePath(repository, "latin/1120ms/metadata.json")).size(), 1U);
}

TEST_F(NemotronMultilingualVariantDownloaderTest, OfflineAnUncachedVariantFailsWithTheHubsError) {
    const ModelHub offlineHub({.offline = true});
    const NemotronMultilingualVariantRequest request{.languageCode = "fr", .chunkMs = -160, .to = base.path()};

    EXPECT_EQ(testsupport::errorText([&] { Downloader::download(request, offlineHub); }),
              "QuorlAudio offline mode: download(nemotron-multilingual/latin/-160ms) blocked");
    cache(soundVocabulary);
    EXPECT_EQ(Downloader::download({.languageCode = "fr", .chunkMs = 1120, .to = base.path()}, offlineHub),
              directory());
}

TEST_F(NemotronMultilingualVariantDownloaderTest, WithoutADestinationTheVariantGoesToTheUsersModelsFolder) {
    environment.set("XDG_DATA_HOME", base.path().string());
    const fs::path expected =
        base.path() / "QuorlAudio" / "Models" / "nemotron-multilingual" / "multilingual" / "560ms";
    writeFile(expected / "metadata.json", smallMetadata().dump());
    writeFile(expected / "tokenizer.json", soundVocabulary);

    EXPECT_EQ(Manager::downloadVariant({.languageCode = "ja", .chunkMs = 560}), expected);
}

TEST_F(NemotronMultilingualVariantDownloaderTest, StreamsOnAFetchedAndPreloadedSetEachFinishTheirOwnAudio) {
    serveVariant();
    variant.emit(Model::decoderJointArgmax, helloWorldPerChunk);

    const auto set = Manager::downloadAndPreloadShared({.languageCode = "en", .chunkMs = 1120, .to = base.path()});

    Manager first;
    Manager second;
    std::string texts[2];
    Manager* managers[2] = {&first, &second};
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < 2; ++i) {
        managers[i]->loadFromShared(set);
        StreamingNemotronMultilingualAsrManagerProbe::setGate(*managers[i], {.rmsThreshold = 0, .hangoverChunks = 2});
        threads.emplace_back([&, i] {
            managers[i]->process(noise(chunkSamples * (i + 1)));
            texts[i] = managers[i]->finish();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(texts[0], helloWorldTimes(1));
    EXPECT_EQ(texts[1], helloWorldTimes(2));
}

} // namespace
} // namespace quorl
