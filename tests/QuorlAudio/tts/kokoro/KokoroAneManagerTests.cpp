#include "QuorlAudio/foundation/AudioWAV.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneManager.hpp"
#include "tests/QuorlAudio/tts/kokoro/KokoroTest.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorl::testing {
namespace {

using Kind = KokoroAneError::Kind;
using platform::sys::LogType;
using Counts = std::vector<std::size_t>;

constexpr const char* lexicon = R"({"lower": {"hello": ["h", "ə", "l", "O"], "cab": ["c", "a", "b"]},
                                    "caseSensitive": {"Hello": ["h", "ɛ", "l", "O"]}})";

class KokoroAneManagerTest : public KokoroTest {
protected:
    KokoroAneManager makeManager(KokoroAneVariant variant) {
        repository.serve(hub, variant);
        G2PModelEnvironment g2pEnvironment{
            .cacheRoot = [this] { return folder / "g2p"; },
            .variable =
                [](const std::string& name) { return name == "CI" ? std::optional<std::string>("1") : std::nullopt; },
        };
        return KokoroAneManager({.variant = variant,
                                 .defaultVoice = std::nullopt,
                                 .directory = modelsRoot,
                                 .computeUnits = KokoroAneComputeUnits::cpuOnly(),
                                 .modelStore = nullptr,
                                 .g2pModel = std::make_shared<G2PModel>(g2pEnvironment)});
    }

    void serveLexicon(const std::string& text) {
        hub.putFile(KokoroTestRepository::hubRepository, "us_lexicon_cache.json", text);
    }

    // The first timbre value of the voice-pack row the call used: row × 256 (+ the pack's offset).
    double timbre(std::size_t call = 0) {
        return inputValues(repository.calls(KokoroAneStage::noise).at(call), "style_timbre").front();
    }

    std::size_t idCount(std::size_t call) {
        return inputValues(repository.calls(KokoroAneStage::albert).at(call), "input_ids").size();
    }

    static std::string repeated(const std::string& piece, std::size_t times) {
        std::string text;
        for (std::size_t index = 0; index < times; ++index) {
            text += piece;
        }
        return text;
    }
};

TEST_F(KokoroAneManagerTest, EnglishTextBecomesTwentyFourKilohertzWav) {
    serveLexicon(lexicon);
    auto manager = makeManager(KokoroAneVariant::english);
    EXPECT_FALSE(manager.isAvailable());

    const auto wav = manager.synthesize("Hello, cab.");

    EXPECT_TRUE(manager.isAvailable());
    EXPECT_EQ(manager.phonemes("Hello, cab."), "hlO cab.") << "the comma is not in the vocabulary";
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(wav[24] | (wav[25] << 8) | (wav[26] << 16), 24000);
    const auto result = manager.synthesizeDetailed("Hello, cab.");
    EXPECT_EQ(result.encoderTokens, 10);
    EXPECT_EQ(wav, AudioWAV::data(result.samples, 24000, true));
    EXPECT_EQ(timbre(), 7 * 256) << "row of the 8 phoneme characters";
    EXPECT_TRUE(lines("KokoroAneManager", LogType::error).empty());
}

TEST_F(KokoroAneManagerTest, LongPhonemeStringsRunOncePerChunk) {
    auto manager = makeManager(KokoroAneVariant::mandarin);
    const auto words = repeated("abc ", 150);

    const auto once = manager.synthesizeDetailed("abc abc");
    EXPECT_EQ(once.encoderTokens, 9);
    const auto chunked = manager.synthesizeDetailed(words);

    EXPECT_EQ(repository.callCounts(), (Counts{3, 3, 3, 3, 3, 3, 3}));
    EXPECT_EQ(idCount(1) + idCount(2), static_cast<std::size_t>(chunked.encoderTokens));
    // 599 characters lose the blank at the cut; each chunk adds its two framing ids.
    EXPECT_EQ(chunked.encoderTokens, 598 + 2 * 2);
    EXPECT_EQ(chunked.acousticFrames, chunked.encoderTokens);
    EXPECT_EQ(chunked.samples.size(), chunked.encoderTokens * KokoroTestRepository::samplesPerFrame);
}

TEST_F(KokoroAneManagerTest, AStringLongOnlyForItsSurroundingBlanksIsSpokenTrimmed) {
    auto manager = makeManager(KokoroAneVariant::mandarin);
    const auto result = manager.synthesizeDetailed("   " + repeated("a", 510) + "   ");
    EXPECT_EQ(result.encoderTokens, 512);
    EXPECT_EQ(timbre(), 509 * 256);
}

TEST_F(KokoroAneManagerTest, PhonemesAreSpokenUnchunkedAndAnEmptyStringUsesTheFramingIdsAndRowZero) {
    auto manager = makeManager(KokoroAneVariant::english);

    const auto empty = manager.synthesizeFromPhonemesDetailed("");
    EXPECT_EQ(inputValues(repository.calls(KokoroAneStage::albert).at(0), "input_ids"), (std::vector<double>{0, 0}));
    EXPECT_EQ(timbre(), 0);
    EXPECT_EQ(empty.encoderTokens, 2);

    EXPECT_EQ(kokoroError([&] { manager.synthesizeFromPhonemes(repeated("a", 511)); }),
              kind(Kind::phonemeSequenceTooLong, "KokoroAne phoneme sequence has 511 characters (max 510)."));
}

TEST_F(KokoroAneManagerTest, MandarinReadsHanTextAndPassesOtherTextThrough) {
    repository.serveMandarinAssets(hub);
    auto manager = makeManager(KokoroAneVariant::mandarin);
    EXPECT_EQ(manager.phonemes("ni3 hao3"), "ni3 hao3");
    EXPECT_EQ(manager.phonemes("你"), "ㄋㄧ3");
    manager.setMandarinCustomLexicon(MandarinCustomLexicon::fromTokenTexts({{"你", {"hao3"}}}));
    EXPECT_EQ(manager.phonemes("你"), "ㄏㄠ3");
}

TEST_F(KokoroAneManagerTest, JapaneseRefusesTextAndSpeaksPhonemesWithoutPeakNormalisation) {
    auto manager = makeManager(KokoroAneVariant::japanese);
    const std::string refusal = kind(Kind::inputProcessingFailed,
                                     "KokoroAne input processing failed: Japanese variant has no text G2P frontend; "
                                     "call synthesizeFromPhonemes(_:voice:speed:) with pre-computed IPA.");
    EXPECT_EQ(kokoroError([&] { manager.synthesize("konnichiwa"); }), refusal);
    EXPECT_EQ(kokoroError([&] { manager.phonemes("konnichiwa"); }), refusal);

    const auto wav = manager.synthesizeFromPhonemes("abc");
    const auto result = manager.synthesizeFromPhonemesDetailed("abc");
    EXPECT_EQ(wav, AudioWAV::data(result.samples, 24000, false));
    EXPECT_NE(wav, AudioWAV::data(result.samples, 24000, true));
}

TEST_F(KokoroAneManagerTest, AnUnloadableLexiconWarnsOnEveryEnglishCallAndTheCustomLexiconStillSpeaks) {
    serveLexicon("not json");
    auto manager = makeManager(KokoroAneVariant::english);
    manager.setEnglishCustomLexicon({{"hello", "hlO"}});

    EXPECT_EQ(manager.phonemes("hello."), "hlO.");
    manager.synthesize("hello");

    const auto warnings = lines("KokoroAneManager", LogType::error);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0].rfind("English lexicon unavailable (", 0), 0u);
    EXPECT_TRUE(warnings[0].ends_with("); using BART G2P only"));
}

TEST_F(KokoroAneManagerTest, VoicesComeFromTheCallTheDefaultOrTheSetDefault) {
    auto manager = makeManager(KokoroAneVariant::english);
    repository.serveVoicePack(hub, KokoroAneVariant::english, "af_bella", 1.0F);

    manager.synthesizeFromPhonemes("a");
    manager.synthesizeFromPhonemes("a", "af_bella");
    manager.setDefaultVoice("af_missing");
    const auto missing = kokoroError([&] { manager.synthesizeFromPhonemes("a"); });

    EXPECT_EQ(timbre(0), 0);
    EXPECT_EQ(timbre(1), 1);
    EXPECT_EQ(missing.find("other error"), 0u) << missing;
    manager.cleanup();
    EXPECT_FALSE(manager.isAvailable());
    EXPECT_EQ(manager.defaultVoice(), "af_missing");
}

TEST_F(KokoroAneManagerTest, InitializeLoadsTheStoreThenTheEnglishG2PAndThePreloadedVoices) {
    auto mandarin = makeManager(KokoroAneVariant::mandarin);
    repository.serveVoicePack(hub, KokoroAneVariant::mandarin, "zm_010");
    mandarin.initialize({"zm_010"});
    EXPECT_TRUE(mandarin.isAvailable());
    EXPECT_FALSE(hub.requestsFor(testsupport::LoopbackHub::filePath(KokoroTestRepository::hubRepository,
                                                                    "ANE-zh/voices/zm_010.bin"))
                     .empty());

    auto english = makeManager(KokoroAneVariant::english);
    EXPECT_EQ(kokoroError([&] { english.initialize({"af_bella"}); }),
              "other error: Model file not found: G2PDecoder.mlmodelc");
    EXPECT_TRUE(english.isAvailable()) << "the store loads before the G2P models are fetched";
}

} // namespace
} // namespace quorl::testing
