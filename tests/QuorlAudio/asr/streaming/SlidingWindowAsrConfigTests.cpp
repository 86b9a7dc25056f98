#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrError.hpp"

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/TdtConfig.hpp"
#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace quorl {
namespace {

TEST(SlidingWindowAsrConfigTests, PresetsFillFifteenSecondWindowsAndValidate) {
    const struct {
        const SlidingWindowAsrConfig& preset;
        SlidingWindowAsrConfig expected;
    } cases[] = {
        {SlidingWindowAsrConfig::defaultConfig(), {11.0, 2.0, 2.0, 2.0, 10.0, 0.85, std::nullopt}},
        {SlidingWindowAsrConfig::streaming(), {11.0, 1.0, 2.0, 2.0, 10.0, 0.80, std::nullopt}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.preset, c.expected);
        EXPECT_EQ(c.preset.windowSamples(), 240000);
        EXPECT_NO_THROW(c.preset.validate());
    }
    EXPECT_EQ(SlidingWindowAsrConfig(), SlidingWindowAsrConfig::defaultConfig());
}

TEST(SlidingWindowAsrConfigTests, CustomChunksKeepTwoSecondContextsAndHalveTheHypothesisChunkUpToOneSecond) {
    const struct {
        double chunk;
        double hypothesisChunk;
    } cases[] = {{1.5, 0.75}, {2.0, 1.0}, {4.0, 1.0}, {12.0, 1.0}};
    for (const auto& c : cases) {
        const SlidingWindowAsrConfig expected(c.chunk, c.hypothesisChunk, 2.0, 2.0, 10.0, 0.7, std::nullopt);
        EXPECT_EQ(SlidingWindowAsrConfig::custom(c.chunk, 0.7), expected) << c.chunk;
        EXPECT_EQ(SlidingWindowAsrConfig(0.7, c.chunk), expected) << c.chunk;
    }
}

TEST(SlidingWindowAsrConfigTests, WindowsBeyondTheModelInputFailValidationWithTheExactSums) {
    const struct {
        SlidingWindowAsrConfig config;
        std::string sum;
        std::int64_t samples;
    } cases[] = {
        {SlidingWindowAsrConfig::custom(12.0, 0.8), "16.0", 256000},
        {SlidingWindowAsrConfig(11.5, 1.0, 2.0, 2.0, 10.0, 0.8, std::nullopt), "15.5", 248000},
        {SlidingWindowAsrConfig(15.0, 1.0, 0.1, 0.2, 10.0, 0.8, std::nullopt), "15.299999999999999", 244800},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.config.windowSamples(), c.samples) << c.sum;
        EXPECT_EQ(testsupport::errorText([&] { c.config.validate(); }),
                  "Invalid configuration: leftContextSeconds + chunkSeconds + rightContextSeconds = " + c.sum + "s (" +
                      std::to_string(c.samples) +
                      " samples) exceeds the model's maximum input of 15.0s (240000 samples at 16 kHz)");
        try {
            c.config.validate();
        } catch (const SlidingWindowAsrError& error) {
            EXPECT_EQ(error.kind(), SlidingWindowAsrError::Kind::invalidConfiguration);
        }
    }
}

TEST(SlidingWindowAsrConfigTests, ACentreRegionWithoutAWholeSampleFailsValidation) {
    const struct {
        double chunk;
        std::string text;
    } cases[] = {
        {0.0, "chunkSeconds = 0.0s (0 samples)"},
        {0.00003, "chunkSeconds = 3e-05s (0 samples)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(testsupport::errorText([&] { SlidingWindowAsrConfig::custom(c.chunk, 0.8).validate(); }),
                  "Invalid configuration: " + c.text + " is shorter than one sample at 16 kHz");
    }
    EXPECT_NO_THROW(SlidingWindowAsrConfig::custom(0.0001, 0.8).validate());
}

TEST(SlidingWindowAsrConfigTests, EachRegionIsTruncatedToWholeSamplesOnItsOwn) {
    const SlidingWindowAsrConfig tiny(11.0, 1.0, 0.00003, 0.00003, 10.0, 0.8, std::nullopt);
    EXPECT_EQ(tiny.windowSamples(), 176000);
    const SlidingWindowAsrConfig fractions(11.00004, 1.0, 1.99996, 2.99996, 10.0, 0.8, std::nullopt);
    EXPECT_EQ(fractions.chunkSamples(), 176000);
    EXPECT_EQ(fractions.leftContextSamples(), 31999);
    EXPECT_EQ(fractions.rightContextSamples(), 47999);
    EXPECT_EQ(fractions.windowSamples(), 176000 + 31999 + 47999);
}

TEST(SlidingWindowAsrConfigTests, BatchConfigurationIsTheDefaultWithTheseDecoderSettings) {
    EXPECT_EQ(SlidingWindowAsrConfig::streaming().asrConfig(), ASRConfig::defaultConfig());

    TdtConfig decoder;
    decoder.maxSymbolsPerStep = 3;
    decoder.blankId = 1024;
    const SlidingWindowAsrConfig tuned = SlidingWindowAsrConfig::streaming().applying(decoder);
    EXPECT_EQ(tuned.tdtConfig, decoder);
    EXPECT_EQ(tuned.confirmationThreshold, 0.80);
    ASRConfig expected = ASRConfig::defaultConfig();
    expected.tdtConfig = decoder;
    EXPECT_EQ(tuned.asrConfig(), expected);
}

} // namespace
} // namespace quorl
