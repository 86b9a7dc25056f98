#include "QuorlAudio/asr/streaming/SlidingWindowTranscriptionUpdate.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

TEST(SlidingWindowTranscriptionUpdateTests, TokensAreTheTimingTextsInOrder) {
    const SlidingWindowTranscriptionUpdate update{
        .text = "hello world",
        .isConfirmed = true,
        .confidence = 0.9f,
        .timestamp = {},
        .tokenIds = {7, 8},
        .tokenTimings = {{.token = " hello", .tokenId = 7, .startTime = 0.0, .endTime = 0.08, .confidence = 0.9f},
                         {.token = " world", .tokenId = 8, .startTime = 0.08, .endTime = 0.16, .confidence = 0.9f}},
    };
    EXPECT_EQ(update.tokens(), (std::vector<std::string>{" hello", " world"}));
}

TEST(SlidingWindowTranscriptionUpdateTests, AWindowWithoutTimingsHasNoTokens) {
    const SlidingWindowTranscriptionUpdate update{
        .text = "", .isConfirmed = false, .confidence = 0.1f, .timestamp = {}, .tokenIds = {}, .tokenTimings = {}};
    EXPECT_TRUE(update.tokens().empty());
}

} // namespace
} // namespace quorl
