#include "QuorlAudio/foundation/ASRConstants.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

TEST(ASRConstantsTests, EncoderFramesRoundAPartialFrameUp) {
    const struct {
        int samples;
        int frames;
    } cases[] = {{0, 0}, {1, 1}, {1280, 1}, {1281, 2}, {240000, 188}};
    for (const auto& c : cases) {
        EXPECT_EQ(ASRConstants::calculateEncoderFrames(c.samples), c.frames) << c.samples << " samples";
    }
}

TEST(ASRConstantsTests, MinimumRequiredSamplesTruncateThreeTenthsOfTheRate) {
    EXPECT_EQ(ASRConstants::minimumRequiredSamples(16000), 4800);
    EXPECT_EQ(ASRConstants::minimumRequiredSamples(44100), 13230);
}

TEST(ASRConstantsTests, WordBoundaryIsTheLowerOneEighthBlockInUtf8) {
    EXPECT_EQ(ASRConstants::sentencePieceWordBoundary, "\xE2\x96\x81");
}

} // namespace
} // namespace quorl
