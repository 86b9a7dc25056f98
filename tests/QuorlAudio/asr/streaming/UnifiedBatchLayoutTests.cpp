#include "QuorlAudio/asr/streaming/UnifiedBatchLayout.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quorl {
namespace {

TEST(UnifiedBatchLayoutTest, WindowsAreWholeFramesUnderFifteenSecondsOverlappingByTwo) {
    const UnifiedBatchLayout layout{.config = {}};
    EXPECT_EQ(layout.windowSamples(), 239360);
    EXPECT_EQ(layout.overlapSamples(), 32000);
    EXPECT_EQ(layout.strideSamples(), 207360);
}

TEST(UnifiedBatchLayoutTest, ALastStretchWithinTheOverlapGetsNoWindowOfItsOwn) {
    struct Case {
        std::int64_t totalSamples;
        std::vector<std::int64_t> starts;
    };
    const Case cases[] = {
        {0, {}},
        {1, {0}},
        {160000, {0}},
        {239000, {0}},
        {239360, {0}},
        {239361, {0, 207360}},
        {320000, {0, 207360}},
        {480000, {0, 207360, 414720}},
    };
    const UnifiedBatchLayout layout{.config = {}};
    for (const auto& c : cases) {
        EXPECT_EQ(layout.chunkStarts(c.totalSamples), c.starts) << c.totalSamples;
    }
}

} // namespace
} // namespace quorl
