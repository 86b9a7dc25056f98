#include "QuorlAudio/asr/batch/TdtConfig.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

TEST(TdtConfigTests, DefaultPresetHoldsTheV3DecoderSettings) {
    const TdtConfig& preset = TdtConfig::defaultConfig();
    EXPECT_EQ(preset, (TdtConfig{true, 10, {0, 1, 2, 3, 4}, 8192, 20, 150, 5}));
    EXPECT_EQ(&preset, &TdtConfig::defaultConfig());
}

} // namespace
} // namespace quorl
