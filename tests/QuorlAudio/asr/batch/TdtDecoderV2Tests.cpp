#include "QuorlAudio/asr/batch/TdtDecoderV2.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

ASRConfig configWith(int blankId, int parallelChunkConcurrency) {
    ASRConfig config;
    config.tdtConfig.blankId = blankId;
    config.tdtConfig.maxSymbolsPerStep = 3;
    config.parallelChunkConcurrency = parallelChunkConcurrency;
    return config;
}

TEST(TdtDecoderV2, KeepsAConfigurationWhoseBlankIsAlready1024) {
    const ASRConfig config = configWith(1024, 0);
    EXPECT_EQ(TdtDecoderV2(config).config, config);
}

// Rebuilt through the configuration's validation, which keeps at least one chunk worker.
TEST(TdtDecoderV2, RebuildsOtherConfigurationsWithBlank1024) {
    EXPECT_EQ(TdtDecoderV2(configWith(8192, 0)).config, configWith(1024, 1));
}

} // namespace
} // namespace quorl
