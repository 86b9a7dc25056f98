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
        {SlidingWindowAsrConfig::defaultConfig(),
         {.chunkSeconds = 11.0,
          .hypothesisChunkSeconds = 2.0,
          .leftContextSeconds = 2.0,
          .rightContextSeconds = 2.0,
          .minContextForConfirmation = 10.0,
          .confirmationThreshold = 0.85,
          .tdtConfig = std::nullopt}},
        {SlidingWindowAsrConfig::streaming(),
         {.chunkSeconds = 11.0,
          .hypothesisChunkSeconds = 1.0,
          .leftContextSeconds = 2.0,
          .rightContextSeconds = 2.0,
          .minContextForConfirmation = 10.0,
          .confirmationThreshold = 0.80,
          .tdtConfig = std::nullopt}},
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
        const SlidingWindowAsrConfig expected{
            .chunkSeconds = c.chunk,
            .hypothesisChunkSeconds = c.hypothesisChunk,
            .leftContextSeconds = 2.0,
            .rightContextSeconds = 2.0,
            .minContextForConfirmation = 10.0,
            .confirmationThreshold = 0.7,
            .tdtConfig = std::nullopt,
        };
        EXPECT_EQ(SlidingWindowAsrConfig::custom({.chunkDuration = c.chunk, .confirmationThreshold = 0.7}), expected)
            << c.chunk;
    }
}

TEST(SlidingWindowAsrConfigTests, WindowsBeyondTheModelInputFailValidationWithTheExactSums) {
    const struct {
        SlidingWindowAsrConfig config;
        std::string sum;
        std::int64_t samples;
    } cases[] = {
        {SlidingWindowAsrConfig::custom({.chunkDuration = 12.0, .confirmationThreshold = 0.8}), "16.0", 256000},
        {{.chunkSeconds = 11.5, .hypothesisChunkSeconds = 1.0, .confirmationThreshold = 0.8}, "15.5", 248000},
        {{.chunkSeconds = 15.0,
          .hypothesisChunkSeconds = 1.0,
          .leftContextSeconds = 0.1,
          .rightContextSeconds = 0.2,
          .confirmationThreshold = 0.8},
         "15.299999999999999",
         244800},
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
        const auto config = SlidingWindowAsrConfig::custom({.chunkDuration = c.chunk, .confirmationThreshold = 0.8});
        EXPECT_EQ(testsupport::errorText([&] { config.validate(); }),
                  "Invalid configuration: " + c.text + " is shorter than one sample at 16 kHz");
    }
    EXPECT_NO_THROW(SlidingWindowAsrConfig::custom({.chunkDuration = 0.0001, .confirmationThreshold = 0.8}).validate());
}

TEST(SlidingWindowAsrConfigTests, EachRegionIsTruncatedToWholeSamplesOnItsOwn) {
    const SlidingWindowAsrConfig tiny{.chunkSeconds = 11.0,
                                      .hypothesisChunkSeconds = 1.0,
                                      .leftContextSeconds = 0.00003,
                                      .rightContextSeconds = 0.00003,
                                      .confirmationThreshold = 0.8};
    EXPECT_EQ(tiny.windowSamples(), 176000);
    const SlidingWindowAsrConfig fractions{.chunkSeconds = 11.00004,
                                           .hypothesisChunkSeconds = 1.0,
                                           .leftContextSeconds = 1.99996,
                                           .rightContextSeconds = 2.99996,
                                           .confirmationThreshold = 0.8};
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
