#include "QuorlAudio/asr/streaming/FixedDecimalText.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

TEST(FixedDecimalTextTests, DecimalsRoundLikePrintf) {
    EXPECT_EQ(fixedDecimalText(12.96, 1), "13.0");
    EXPECT_EQ(fixedDecimalText(13.0, 1), "13.0");
    EXPECT_EQ(fixedDecimalText(0.0123, 3), "0.012");
    EXPECT_EQ(fixedDecimalText(4.0, 1), "4.0");
}

} // namespace
} // namespace quorl
