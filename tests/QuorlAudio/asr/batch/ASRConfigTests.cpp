#include "QuorlAudio/asr/batch/ASRConfig.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

TEST(ASRConfigTests, DefaultPresetCarriesTheDefaultDecoderSettings) {
    const ASRConfig expected(16000, TdtConfig::defaultConfig(), 1024, 4, true, 480000, true, false);
    EXPECT_EQ(ASRConfig::defaultConfig(), expected);
    EXPECT_EQ(ASRConfig{}, expected);
}

TEST(ASRConfigTests, InitialiserStoresEveryFieldInOrder) {
    const TdtConfig tdtConfig{false, 3, {0, 2}, 1024, 7, 90, 2};
    const ASRConfig config(24000, tdtConfig, 512, 6, false, 1000, false, true);
    EXPECT_EQ(config.sampleRate, 24000);
    EXPECT_EQ(config.tdtConfig, tdtConfig);
    EXPECT_EQ(config.encoderHiddenSize, 512);
    EXPECT_EQ(config.parallelChunkConcurrency, 6);
    EXPECT_FALSE(config.streamingEnabled);
    EXPECT_EQ(config.streamingThreshold, 1000);
    EXPECT_FALSE(config.melChunkContext);
    EXPECT_TRUE(config.dualDecodeArbitration);
}

TEST(ASRConfigTests, InitialiserKeepsAtLeastOneChunkWorker) {
    const struct {
        int given;
        int stored;
    } cases[] = {{0, 1}, {-3, 1}, {1, 1}, {8, 8}};
    for (const auto& c : cases) {
        const ASRConfig config(16000, TdtConfig{}, 1024, c.given, true, 480000, true, false);
        EXPECT_EQ(config.parallelChunkConcurrency, c.stored) << c.given;
    }
}

} // namespace
} // namespace quorl
