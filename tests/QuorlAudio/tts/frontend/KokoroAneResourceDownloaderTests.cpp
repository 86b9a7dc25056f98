#include "QuorlAudio/models/AssetDownloader.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneResourceDownloader.hpp"
#include "tests/QuorlAudio/models/HubTest.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace downloader = KokoroAneResourceDownloader;
using platform::sys::LogType;
using testsupport::errorText;
using testsupport::fileContents;
using testsupport::LoopbackHub;
using Lines = std::vector<std::string>;

constexpr const char* kokoroRepository = "ZirazEvavirivi/kokoro-82m-coreml";

class KokoroAneResourceDownloaderTest : public testing::HubTest {
protected:
    KokoroAneResourceDownloaderTest() { environment.set("HOME", (folder / "home").string()); }

    static void writeFile(const fs::path& path, const std::string& text = "cached") {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    // The required names of the repository as the hub serves them: a bundle as a folder with one file.
    void serveRequiredSet(Repo repository) {
        for (const auto& name : ModelNames::getRequiredModelNames(repository)) {
            const bool bundle = name.ends_with(".mlmodelc");
            hub.putFile(kokoroRepository, *subPath(repository) + "/" + name + (bundle ? "/coremldata.bin" : ""),
                        "remote " + name);
        }
    }

    ProgressHandler recordProgress() {
        return [this](const DownloadProgress& report) {
            const std::lock_guard lock(mutex);
            progress.push_back(report);
        };
    }

    Lines lines(LogType type) const { return sink.messages("KokoroAneResourceDownloader", type); }

    std::vector<std::string> fileRequests() const {
        std::vector<std::string> paths;
        for (const auto& request : hub.requests()) {
            paths.push_back(request.path);
        }
        return paths;
    }

    const fs::path base = folder / "Models";
    const fs::path english = base / "kokoro-82m-coreml" / "ANE";
    const fs::path mandarin = base / "kokoro-82m-coreml" / "ANE-zh";
    testsupport::RecordingLogSink sink;
    std::mutex mutex;
    std::vector<DownloadProgress> progress;
};

TEST_F(KokoroAneResourceDownloaderTest, FindsACompleteSetInTheCacheWithoutAsking) {
    for (const auto& name : ModelNames::KokoroAne::requiredModels()) {
        writeFile(english / name);
    }

    EXPECT_EQ(downloader::ensureModels(KokoroAneVariant::english, base, recordProgress()), english);

    EXPECT_EQ(lines(LogType::info), Lines{"Kokoro models (english) found in cache at " + english.string()});
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(progress.empty());
}

TEST_F(KokoroAneResourceDownloaderTest, OneMissingBundleFetchesTheWholeRequiredSetWithProgress) {
    serveRequiredSet(Repo::kokoroAne);
    for (const auto& name : ModelNames::KokoroAne::requiredModels()) {
        if (name != "KokoroTail.mlmodelc") {
            writeFile(english / name);
        }
    }

    EXPECT_EQ(downloader::ensureModels(KokoroAneVariant::english, base, recordProgress()), english);

    EXPECT_EQ(fileContents(english / "KokoroTail.mlmodelc" / "coremldata.bin"), "remote KokoroTail.mlmodelc");
    EXPECT_EQ(lines(LogType::info).front(), "Downloading Kokoro models (english) from HuggingFace...");
    EXPECT_FALSE(progress.empty());
    EXPECT_FALSE(hub.requestsFor(LoopbackHub::treePath(kokoroRepository, "ANE")).empty());
}

TEST_F(KokoroAneResourceDownloaderTest, VoicePacksLieWhereTheirVariantKeepsThem) {
    hub.putFile(kokoroRepository, "ANE/af_heart.bin", std::string(3000, 'a'));
    hub.putFile(kokoroRepository, "ANE-zh/voices/zf_001.bin", "zf");

    EXPECT_EQ(downloader::ensureVoicePack("af_heart", english, KokoroAneVariant::english), english / "af_heart.bin");
    EXPECT_EQ(downloader::ensureVoicePack("zf_001", mandarin, KokoroAneVariant::mandarin),
              mandarin / "voices" / "zf_001.bin");

    EXPECT_EQ(fileContents(english / "af_heart.bin"), std::string(3000, 'a'));
    EXPECT_EQ(fileContents(mandarin / "voices" / "zf_001.bin"), "zf");
    EXPECT_EQ(fileRequests(), (Lines{LoopbackHub::filePath(kokoroRepository, "ANE/af_heart.bin"),
                                     LoopbackHub::filePath(kokoroRepository, "ANE-zh/voices/zf_001.bin")}));
    EXPECT_EQ(lines(LogType::info), (Lines{"Downloading voice pack 'af_heart' (english) from HuggingFace...",
                                           "Downloaded voice pack 'af_heart' (2 KB)",
                                           "Downloading voice pack 'zf_001' (mandarin) from HuggingFace...",
                                           "Downloaded voice pack 'zf_001' (0 KB)"}));

    downloader::ensureVoicePack("af_heart", english, KokoroAneVariant::english);
    EXPECT_EQ(hub.requests().size(), 2u);
}

TEST_F(KokoroAneResourceDownloaderTest, VoiceNamesKeepOnlyLettersNumbersAndUnderscores) {
    hub.putFile(kokoroRepository, "ANE/af.bin", "af");
    EXPECT_EQ(downloader::ensureVoicePack("../ a/f .", english, KokoroAneVariant::english), english / "af.bin");

    for (const std::string name : {"./ -.", ""}) {
        try {
            downloader::ensureVoicePack(name, english, KokoroAneVariant::english);
            ADD_FAILURE() << "nothing thrown for \"" << name << '"';
        } catch (const KokoroAneError& error) {
            EXPECT_EQ(error.kind(), KokoroAneError::Kind::downloadFailed);
            EXPECT_EQ(std::string(error.what()), "KokoroAne download failed: Invalid voice name: " + name);
        }
    }
    EXPECT_EQ(hub.requests().size(), 1u);
}

TEST_F(KokoroAneResourceDownloaderTest, AMissingPinyinFileThrowsAndKeepsTheOneFetchedBeforeIt) {
    hub.putFile(kokoroRepository, "ANE-zh/assets/pinyin_phrases.bin", "phrases");

    try {
        downloader::ensureMandarinG2P(mandarin);
        ADD_FAILURE() << "nothing thrown";
    } catch (const AssetDownloader::Error& error) {
        EXPECT_EQ(error.statusCode(), 404);
        EXPECT_EQ(std::string(error.what()),
                  "Unexpected response (status 404) while downloading Mandarin G2P asset pinyin_single.bin");
    }
    EXPECT_EQ(fileContents(mandarin / "g2p" / "pinyin_phrases.bin"), "phrases");

    hub.putFile(kokoroRepository, "ANE-zh/assets/pinyin_single.bin", "single");
    EXPECT_EQ(downloader::ensureMandarinG2P(mandarin), mandarin / "g2p");
    EXPECT_EQ(hub.requestsFor(LoopbackHub::filePath(kokoroRepository, "ANE-zh/assets/pinyin_phrases.bin")).size(), 1u);
    EXPECT_EQ(lines(LogType::info), (Lines{"Downloading Mandarin G2P asset 'pinyin_phrases.bin' from "
                                           "ZirazEvavirivi/kokoro-82m-coreml/ANE-zh/assets/...",
                                           "Cached pinyin_phrases.bin (0 KB)",
                                           "Downloading Mandarin G2P asset 'pinyin_single.bin' from "
                                           "ZirazEvavirivi/kokoro-82m-coreml/ANE-zh/assets/...",
                                           "Downloading Mandarin G2P asset 'pinyin_single.bin' from "
                                           "ZirazEvavirivi/kokoro-82m-coreml/ANE-zh/assets/...",
                                           "Cached pinyin_single.bin (0 KB)"}));
}

TEST_F(KokoroAneResourceDownloaderTest, AMissingJiebaTableTurnsTheHmmOffWithAWarning) {
    hub.putFile(kokoroRepository, "ANE-zh/assets/jieba_hmm_start.bin", "start");
    hub.putFile(kokoroRepository, "ANE-zh/assets/jieba_hmm_emit.bin", "emit");

    EXPECT_EQ(downloader::ensureMandarinJiebaHmm(mandarin), std::nullopt);

    EXPECT_EQ(lines(LogType::error),
              Lines{"Jieba HMM asset 'jieba_hmm_trans.bin' unavailable (Unexpected response (status 404) while "
                    "downloading jieba HMM asset jieba_hmm_trans.bin); HMM segmentation disabled."});
    EXPECT_EQ(fileContents(mandarin / "g2p" / "jieba_hmm_start.bin"), "start");
    EXPECT_FALSE(fs::exists(mandarin / "g2p" / "jieba_hmm_emit.bin"));

    hub.putFile(kokoroRepository, "ANE-zh/assets/jieba_hmm_trans.bin", "trans");
    EXPECT_EQ(downloader::ensureMandarinJiebaHmm(mandarin), mandarin / "g2p");
}

TEST_F(KokoroAneResourceDownloaderTest, G2pwAnswersOnlyWithItsBundleInPlace) {
    writeFile(mandarin / "g2pw" / "vocab.txt");
    writeFile(mandarin / "g2pw" / "POLYPHONIC_CHARS.txt");

    EXPECT_EQ(downloader::ensureMandarinG2pw(mandarin), std::nullopt);
    EXPECT_EQ(lines(LogType::info),
              Lines{"g2pW CoreML bundle missing at " + (mandarin / "g2pw" / "g2pw.mlmodelc").string() +
                    " \u2014 Mandarin G2P will run dict-only"});
    EXPECT_TRUE(hub.requests().empty());

    fs::create_directories(mandarin / "g2pw" / "g2pw.mlmodelc");
    EXPECT_EQ(downloader::ensureMandarinG2pw(mandarin), mandarin / "g2pw");
}

TEST_F(KokoroAneResourceDownloaderTest, AMissingG2pwTextFileIsLoggedAndAnsweredWithNone) {
    hub.putFile(kokoroRepository, "ANE-zh/g2pw/vocab.txt", "[PAD]");

    EXPECT_EQ(downloader::ensureMandarinG2pw(mandarin), std::nullopt);

    EXPECT_EQ(fileContents(mandarin / "g2pw" / "vocab.txt"), "[PAD]");
    EXPECT_EQ(lines(LogType::info),
              (Lines{"Cached vocab.txt (0 KB)",
                     "g2pW asset 'POLYPHONIC_CHARS.txt' unavailable (Unexpected response (status 404) while "
                     "downloading Mandarin g2pW asset POLYPHONIC_CHARS.txt) \u2014 Mandarin G2P will run dict-only"}));
}

TEST_F(KokoroAneResourceDownloaderTest, TheLexiconOnDiskIsReturnedWithTheHubDown) {
    const auto lexicon = base / "kokoro" / "us_lexicon_cache.json";
    writeFile(lexicon);
    environment.set("REGISTRY_URL", "http://127.0.0.1:1");

    EXPECT_EQ(downloader::ensureEnglishLexicon(base), lexicon);
    EXPECT_TRUE(sink.messages("KokoroAneResourceDownloader").empty());
}

TEST_F(KokoroAneResourceDownloaderTest, TheLexiconIsFetchedIntoTheSynthesisCacheOrMissedWithAWarning) {
    const auto lexicon = folder / "home" / ".cache" / "quorlaudio" / "Models" / "kokoro" / "us_lexicon_cache.json";

    EXPECT_EQ(downloader::ensureEnglishLexicon(std::nullopt), std::nullopt);
    EXPECT_EQ(lines(LogType::error),
              Lines{"English lexicon cache unavailable (Unexpected response (status 404) while downloading "
                    "us_lexicon_cache.json) \u2014 falling back to BART G2P only"});

    hub.putFile(kokoroRepository, "us_lexicon_cache.json", "{}");
    EXPECT_EQ(downloader::ensureEnglishLexicon(std::nullopt), lexicon);
    EXPECT_EQ(fileContents(lexicon), "{}");
}

TEST_F(KokoroAneResourceDownloaderTest, G2PAssetsAreFetchedOnlyWhenOneIsMissing) {
    for (const auto& name : ModelNames::G2P::requiredModels()) {
        writeFile(base / "kokoro" / name);
    }
    downloader::ensureG2PAssets(base);
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(sink.messages("KokoroAneResourceDownloader").empty());

    fs::remove(base / "kokoro" / "g2p_vocab.json");
    hub.putFile(kokoroRepository, "g2p_vocab.json", "{}");
    downloader::ensureG2PAssets(base);
    EXPECT_EQ(fileContents(base / "kokoro" / "g2p_vocab.json"), "{}");
    EXPECT_EQ(lines(LogType::info).front(), "Downloading shared kokoro G2P assets from HuggingFace...");
}

} // namespace
} // namespace quorl
