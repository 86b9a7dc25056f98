#include "QuorlAudio/models/AssetDownloader.hpp"
#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLoadError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsResourceDownloader.hpp"
#include "tests/QuorlAudio/models/HubTest.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsPackWriter.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace downloader = PocketTtsResourceDownloader;
using platform::sys::LogType;
using pocketttspacks::repository;
using testsupport::errorText;
using testsupport::fileContents;
using testsupport::LoopbackHub;
using Lines = std::vector<std::string>;

class PocketTtsResourceDownloaderTest : public testing::HubTest {
protected:
    PocketTtsResourceDownloaderTest() { environment.set("HOME", (folder / "home").string()); }

    // The whole language pack on the hub, with files the downloader must leave there.
    void serveEnglishPack() {
        pocketttspacks::writeLanguagePack(folder / "upstream");
        pocketttspacks::publish(hub, folder / "upstream", "v2.1/english/");
        for (const char* unwanted :
             {"verify.wav", "flowlm_step.mlpackage/Data/weights.bin", "constants/x.bin", ".DS_Store"}) {
            hub.putFile(repository, std::string("v2.1/english/") + unwanted, "unwanted");
        }
    }

    fs::path ensure(PocketTtsPrecision precision, PocketTtsModelPlacement placement) {
        return downloader::ensureModels({.language = PocketTtsLanguage::english,
                                         .directory = base,
                                         .precision = precision,
                                         .placement = placement});
    }

    std::vector<std::string> requestedPaths() const {
        std::vector<std::string> paths;
        for (const auto& request : hub.requests()) {
            paths.push_back(request.path);
        }
        return paths;
    }

    Lines lines(LogType type) const { return sink.messages("PocketTtsResourceDownloader", type); }

    const fs::path base = folder / "cache";
    const fs::path english = base / "Models" / "pocket-tts" / "v2.1" / "english";
    const std::string bosPath = LoopbackHub::filePath(repository, "v2.1/english/constants_bin/bos_before_voice.bin");
    testsupport::RecordingLogSink sink;
};

TEST_F(PocketTtsResourceDownloaderTest, AFreshDownloadKeepsOnlyThePrecisionsStepModelAndSkipsUnwantedFiles) {
    struct Case {
        PocketTtsPrecision precision;
        const char* kept;
        const char* removed;
    };
    for (const Case& c : {Case{PocketTtsPrecision::int8, "flowlm_stepv2.mlmodelc", "flowlm_step.mlmodelc"},
                          Case{PocketTtsPrecision::fp16, "flowlm_step.mlmodelc", "flowlm_stepv2.mlmodelc"}}) {
        SCOPED_TRACE(c.kept);
        serveEnglishPack();
        fs::remove_all(base);

        EXPECT_EQ(ensure(c.precision, PocketTtsModelPlacement::gpu), english);

        EXPECT_TRUE(fs::exists(english / c.kept / "coremldata.bin"));
        EXPECT_FALSE(fs::exists(english / c.removed));
        EXPECT_TRUE(fs::exists(english / "constants_bin" / "bos_emb.bin"));
        for (const char* unwanted : {"verify.wav", "flowlm_step.mlpackage", "constants", ".DS_Store"}) {
            EXPECT_FALSE(fs::exists(english / unwanted)) << unwanted;
        }
        EXPECT_EQ(lines(LogType::info).back(), std::string("Removed unused PocketTTS variant on disk: ") + c.removed);
    }
    for (const auto& path : requestedPaths()) {
        EXPECT_EQ(path.find("verify.wav"), std::string::npos) << path;
        EXPECT_EQ(path.find(".mlpackage"), std::string::npos) << path;
        EXPECT_EQ(path.find("/constants/"), std::string::npos) << path;
    }
    EXPECT_EQ(lines(LogType::info).front(),
              "Downloading PocketTTS english (int8) language pack from HuggingFace (v2.1/english)...");
}

TEST_F(PocketTtsResourceDownloaderTest, AStatefulPackWithoutItsStateModelIsRefused) {
    pocketttspacks::writeRequiredSet(folder / "upstream", PocketTtsPrecision::fp16, PocketTtsModelPlacement::gpu);
    pocketttspacks::publish(hub, folder / "upstream", "v2.1/english/");

    try {
        ensure(PocketTtsPrecision::fp16, PocketTtsModelPlacement::aneState);
        ADD_FAILURE() << "nothing thrown";
    } catch (const PocketTTSError& error) {
        EXPECT_EQ(error.kind(), PocketTTSError::Kind::modelNotFound);
        EXPECT_EQ(error.payload(), "pocket_state.mlmodelc is required for the `.aneState` placement but is not "
                                   "published upstream. Install the multifunction artifact "
                                   "(pocket_flowlm_mf_state.mlmodelc) at " +
                                       (english / "pocket_state.mlmodelc").string() + ".");
    }
}

TEST_F(PocketTtsResourceDownloaderTest, ACachedPackAsksTheHubOnlyForTheMissingBosBeforeVoice) {
    struct Case {
        const char* name;
        LoopbackHub::Fault answer;
        std::string warning;
    };
    const std::string warningEnd = ". Cloned-voice v1 prefill will fail until this file is available; shipped "
                                   "snapshot voices are unaffected.";
    const std::vector<Case> cases{
        {"missing upstream", LoopbackHub::Fault::answer(404),
         "Failed to backfill bos_before_voice.bin for english: Unexpected response (status 404) while downloading "
         "bos_before_voice.bin (english)" +
             warningEnd},
        {"an error page with status 200", LoopbackHub::Fault::answer(200, "<html>Moved</html>"),
         "Failed to backfill bos_before_voice.bin for english: Download failed: bos_before_voice.bin (english) has 18 "
         "bytes instead of 4096" +
             warningEnd},
    };
    pocketttspacks::writeRequiredSet(english, PocketTtsPrecision::int8, PocketTtsModelPlacement::gpu);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hub.failPath(bosPath, c.answer);
        const auto before = hub.requests().size();

        EXPECT_EQ(ensure(PocketTtsPrecision::int8, PocketTtsModelPlacement::gpu), english);

        EXPECT_EQ(hub.requests().size(), before + 1);
        EXPECT_EQ(lines(LogType::error).back(), c.warning);
        EXPECT_FALSE(fs::exists(english / "constants_bin" / "bos_before_voice.bin"));
    }

    hub.putFile(repository, "v2.1/english/constants_bin/bos_before_voice.bin", std::string(4096, 'b'));
    ensure(PocketTtsPrecision::int8, PocketTtsModelPlacement::gpu);
    ensure(PocketTtsPrecision::int8, PocketTtsModelPlacement::gpu);

    EXPECT_EQ(fileContents(english / "constants_bin" / "bos_before_voice.bin"), std::string(4096, 'b'));
    EXPECT_EQ(requestedPaths(), (Lines{bosPath, bosPath, bosPath}));
    EXPECT_EQ(lines(LogType::info),
              (Lines{"PocketTTS english (int8) models found in cache",
                     "Backfilling bos_before_voice.bin for cached english pack...",
                     "PocketTTS english (int8) models found in cache",
                     "Backfilling bos_before_voice.bin for cached english pack...",
                     "PocketTTS english (int8) models found in cache",
                     "Backfilling bos_before_voice.bin for cached english pack...",
                     "Wrote bos_before_voice.bin (4096 bytes)", "PocketTTS english (int8) models found in cache"}));
}

TEST_F(PocketTtsResourceDownloaderTest, WithoutADirectoryThePackLiesInTheSynthesisCache) {
    const auto cached = folder / "home" / ".cache" / "quorlaudio" / "Models" / "pocket-tts" / "v2.1" / "german_24l";
    pocketttspacks::writeRequiredSet(cached, PocketTtsPrecision::fp16, PocketTtsModelPlacement::ane);
    pocketttsfixtures::writeFile(cached / "constants_bin" / "bos_before_voice.bin", std::string(4096, 'b'));

    EXPECT_EQ(downloader::ensureModels({.language = PocketTtsLanguage::german24L,
                                        .directory = std::nullopt,
                                        .precision = PocketTtsPrecision::fp16,
                                        .placement = PocketTtsModelPlacement::ane}),
              cached);
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(PocketTtsResourceDownloaderTest, VoicesAreFetchedOnceAndABrokenOneIsNotKept) {
    const auto voice = english / "constants_bin" / "alba.safetensors";
    const auto voicePath = LoopbackHub::filePath(repository, "v2.1/english/constants_bin/alba.safetensors");
    fs::create_directories(voice.parent_path());
    hub.putFile(repository, "v2.1/english/constants_bin/alba.safetensors", std::string(1500, 'x'));

    EXPECT_THROW(downloader::ensureVoice("al-ba!", PocketTtsLanguage::english, english),
                 PocketTtsConstantsLoader::LoadError);
    EXPECT_FALSE(fs::exists(voice));
    EXPECT_EQ(lines(LogType::info),
              (Lines{"Downloading voice 'alba' for english from HuggingFace (alba.safetensors)...",
                     "Downloaded voice 'alba' (1 KB)"}));

    hub.putFile(repository, "v2.1/english/constants_bin/alba.safetensors", pocketttspacks::voiceFile());
    EXPECT_EQ(downloader::ensureVoice("alba", PocketTtsLanguage::english, english).cacheSnapshot->layers.size(), 6u);
    EXPECT_EQ(downloader::ensureVoice("alba", PocketTtsLanguage::english, english).cacheSnapshot->cacheSeqLen, 4);
    EXPECT_EQ(hub.requestsFor(voicePath).size(), 2u);
}

TEST_F(PocketTtsResourceDownloaderTest, AVoiceTheHubLacksOrANameWithoutLettersFails) {
    try {
        downloader::ensureVoice("nobody", PocketTtsLanguage::english, english);
        ADD_FAILURE() << "nothing thrown";
    } catch (const AssetDownloader::Error& error) {
        EXPECT_EQ(error.statusCode(), 404);
        EXPECT_EQ(error.description(), "nobody voice prompt (english)");
    }
    EXPECT_EQ(errorText([&] { downloader::ensureVoice("./-", PocketTtsLanguage::english, english); }),
              "Processing failed: Invalid voice name: ./-");
    EXPECT_EQ(hub.requests().size(), 1u);
}

TEST_F(PocketTtsResourceDownloaderTest, TheMimiEncoderIsFetchedOnceBesideTheLanguagePacks) {
    pocketttspacks::writeMimiEncoder(folder / "upstream");
    pocketttspacks::publish(hub, folder / "upstream", "");
    const auto encoder = base / "Models" / "pocket-tts" / "mimi_encoderv2.mlmodelc";

    EXPECT_EQ(downloader::ensureMimiEncoder(base), encoder);
    EXPECT_TRUE(fs::exists(encoder / "model.json"));
    const auto requests = hub.requests().size();

    EXPECT_EQ(downloader::ensureMimiEncoder(base), encoder);
    EXPECT_EQ(hub.requests().size(), requests);
    EXPECT_EQ(lines(LogType::info),
              (Lines{"Downloading Mimi encoder for voice cloning...", "Mimi encoder found in cache"}));
}

} // namespace
} // namespace quorl
