#include "QuorlAudio/tts/frontend/MultilingualG2PModel.hpp"

#include "platform/ml/ComputeUnits.hpp"
#include "tests/QuorlAudio/tts/frontend/MultilingualG2PTestModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::sys::LogType;
using testsupport::errorText;
using Language = MultilingualG2PLanguage;
using Tokens = MultilingualG2PTestModels::Tokens;
using Characters = std::vector<std::string>;

class MultilingualG2PModelTests : public ::testing::Test {
protected:
    testsupport::RecordingLogSink log;
    MultilingualG2PTestModels models;
    MultilingualG2PModel model{models.cache.environment()};
};

TEST_F(MultilingualG2PModelTests, SendsTheTaggedWordAsByteTokens) {
    models.spelling = [](const Tokens&) { return MultilingualG2PTestModels::tokensOf("ab"); };
    EXPECT_EQ(model.phonemize("ab", Language::spanish), (Characters{"a", "b"}));
    const auto encoderCall = models.encoder.calls().at(0);
    // "<spa>: ab", each byte plus 3.
    EXPECT_EQ(integersOf(encoderCall, "input_ids"), (Tokens{63, 118, 115, 100, 65, 61, 35, 100, 101}));
    EXPECT_EQ(integersOf(encoderCall, "attention_mask"), Tokens(9, 1));
    const auto decoderCalls = models.decoder.calls();
    ASSERT_EQ(decoderCalls.size(), 3U);
    EXPECT_EQ(integersOf(decoderCalls[0], "decoder_input_ids"), (Tokens{0}));
    EXPECT_EQ(integersOf(decoderCalls[2], "decoder_input_ids"), (Tokens{0, 100, 101}));
    EXPECT_EQ(integersOf(decoderCalls[2], "encoder_attention_mask"), Tokens(9, 1));
    for (const auto& load : {models.encoder.loads().at(0), models.decoder.loads().at(0)}) {
        EXPECT_EQ(load.configuration.computeUnits, platform::ml::ComputeUnits::cpuOnly);
    }
    EXPECT_EQ(log.messages("MultilingualG2PModel", LogType::info),
              Characters{"Loaded multilingual G2P CoreML models from " + models.cache.modelFolder().string()});
}

TEST_F(MultilingualG2PModelTests, TurnsTheDecodedBytesIntoCharacters) {
    const auto tokensOf = MultilingualG2PTestModels::tokensOf;
    const struct {
        const char* name;
        Tokens spelled;
        std::optional<Characters> characters;
    } cases[] = {
        {.name = "blanks dropped, line break and marks kept",
         .spelled = tokensOf("\u0283e\u0301 \t\u00a0x\n"),
         .characters = Characters{"\u0283", "e\u0301", "x", "\n"}},
        {.name = "special and out-of-range tokens dropped",
         .spelled = {0, 2, 259, 260, tokensOf("a")[0]},
         .characters = Characters{"a"}},
        {.name = "eos at once", .spelled = {}, .characters = std::nullopt},
        {.name = "cut inside a character", .spelled = {tokensOf("\u0283")[0]}, .characters = std::nullopt},
        {.name = "blanks only", .spelled = tokensOf("  "), .characters = Characters{}},
        {.name = "never ends", .spelled = Tokens(200, tokensOf("m")[0]), .characters = Characters(128, "m")},
    };
    for (const auto& c : cases) {
        models.spelling = [&c](const Tokens&) { return c.spelled; };
        EXPECT_EQ(model.phonemize("w", Language::french), c.characters) << c.name;
    }
}

TEST_F(MultilingualG2PModelTests, ReportsTheEncoderBundleMissingFirst) {
    std::filesystem::remove_all(models.cache.modelFolder());
    const auto encoder = models.cache.modelFolder() / "MultilingualG2PEncoder.mlmodelc";
    const auto expected =
        "Failed to load multilingual G2P CoreML model: MultilingualG2PEncoder.mlmodelc not found at " +
        encoder.string();
    EXPECT_EQ(errorText([&] { model.phonemize("w", Language::italian); }), expected);
    EXPECT_EQ(errorText([&] { model.ensureModelsAvailable(); }), expected);
    models.cache.variables["CI"] = "true";
    EXPECT_EQ(model.phonemize("w", Language::italian), std::nullopt);
    EXPECT_EQ(log.messages("MultilingualG2PModel", LogType::error),
              Characters{"Multilingual G2P unavailable in CI, returning nil for word: w"});
}

TEST_F(MultilingualG2PModelTests, FailedPredictionsAreReportedAsTheModelsOwn) {
    const auto failure = std::make_exception_ptr(std::runtime_error("kernel broke"));
    models.encoder.failPredictionsWith(failure);
    EXPECT_EQ(errorText([&] { model.phonemize("w", Language::hindi); }), "Multilingual G2P encoder prediction failed.");
    models.encoder.failPredictionsWith(nullptr);
    models.decoder.failPredictionsWith(failure);
    EXPECT_EQ(errorText([&] { model.phonemize("w", Language::hindi); }), "Multilingual G2P decoder prediction failed.");
}

TEST(MultilingualG2PLanguageTests, NamesCodesPrefixesAndVoices) {
    EXPECT_EQ(prefix(Language::brazilianPortuguese), "<por-bz>: ");
    EXPECT_EQ(platform::core::fromRawValue<Language>("por-bz"), Language::brazilianPortuguese);
    for (const auto* code : {"por-br", "POR-BZ", "", "eng"}) {
        EXPECT_EQ(platform::core::fromRawValue<Language>(code), std::nullopt) << code;
    }
    for (const auto language : platform::core::allCases<Language>()) {
        EXPECT_EQ(platform::core::fromRawValue<Language>(rawValue(language)), language);
    }
    EXPECT_EQ(platform::core::allCases<Language>().size(), 9U);
    const struct {
        const char* voice;
        std::optional<Language> language;
    } voices[] = {
        {"af_heart", Language::americanEnglish},
        {"bm_lewis", Language::britishEnglish},
        {"zf_001", Language::mandarinChinese},
        {"jf_alpha", Language::japanese},
        {"pm_alex", Language::brazilianPortuguese},
        {"a", std::nullopt},
        {"Af_heart", std::nullopt},
        {"xf_one", std::nullopt},
        {"a\u0301f", std::nullopt},
    };
    for (const auto& v : voices) {
        EXPECT_EQ(fromKokoroVoice(v.voice), v.language) << v.voice;
    }
}

} // namespace
} // namespace quorl
