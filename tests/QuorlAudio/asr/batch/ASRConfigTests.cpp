#include "QuorlAudio/asr/batch/ASRConfig.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

TEST(ASRConfigTests, DefaultPresetCarriesTheDefaultDecoderSettings) {
    const ASRConfig expected{
        .sampleRate = 16000,
        .tdtConfig = TdtConfig::defaultConfig(),
        .encoderHiddenSize = 1024,
        .parallelChunkConcurrency = 4,
        .streamingEnabled = true,
        .streamingThreshold = 480000,
        .melChunkContext = true,
        .dualDecodeArbitration = false,
    };
    EXPECT_EQ(ASRConfig::defaultConfig(), expected);
    EXPECT_EQ(ASRConfig{}, expected);
}

TEST(ASRConfigTests, ValidationKeepsEveryOtherField) {
    const TdtConfig tdtConfig{
        .includeTokenDuration = false,
        .maxSymbolsPerStep = 3,
        .durationBins = {0, 2},
        .blankId = 1024,
        .boundarySearchFrames = 7,
        .maxTokensPerChunk = 90,
        .consecutiveBlankLimit = 2,
    };
    const ASRConfig config =
        ASRConfig{
            .sampleRate = 24000,
            .tdtConfig = tdtConfig,
            .encoderHiddenSize = 512,
            .parallelChunkConcurrency = 6,
            .streamingEnabled = false,
            .streamingThreshold = 1000,
            .melChunkContext = false,
            .dualDecodeArbitration = true,
        }
            .validated();
    EXPECT_EQ(config.sampleRate, 24000);
    EXPECT_EQ(config.tdtConfig, tdtConfig);
    EXPECT_EQ(config.encoderHiddenSize, 512);
    EXPECT_EQ(config.parallelChunkConcurrency, 6);
    EXPECT_FALSE(config.streamingEnabled);
    EXPECT_EQ(config.streamingThreshold, 1000);
    EXPECT_FALSE(config.melChunkContext);
    EXPECT_TRUE(config.dualDecodeArbitration);
}

TEST(ASRConfigTests, ValidationKeepsAtLeastOneChunkWorker) {
    const struct {
        int given;
        int stored;
    } cases[] = {{0, 1}, {-3, 1}, {1, 1}, {8, 8}};
    for (const auto& c : cases) {
        const ASRConfig config = ASRConfig{.parallelChunkConcurrency = c.given}.validated();
        EXPECT_EQ(config.parallelChunkConcurrency, c.stored) << c.given;
    }
}

} // namespace
} // namespace quorl
