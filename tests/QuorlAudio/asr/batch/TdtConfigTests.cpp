#include "QuorlAudio/asr/batch/TdtConfig.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

TEST(TdtConfigTests, DefaultPresetHoldsTheV3DecoderSettings) {
    const TdtConfig& preset = TdtConfig::defaultConfig();
    const TdtConfig expected{
        .includeTokenDuration = true,
        .maxSymbolsPerStep = 10,
        .durationBins = {0, 1, 2, 3, 4},
        .blankId = 8192,
        .boundarySearchFrames = 20,
        .maxTokensPerChunk = 150,
        .consecutiveBlankLimit = 5,
    };
    EXPECT_EQ(preset, expected);
    EXPECT_EQ(&preset, &TdtConfig::defaultConfig());
}

} // namespace
} // namespace quorl
