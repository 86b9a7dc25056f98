#include "QuorlAudio/asr/streaming/UnifiedStreamingWindower.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace quorl {
namespace {

using Plan = UnifiedStreamingWindower::Plan;

std::int64_t steadyEnd(std::int64_t window) { return 33280 + (window - 1) * 16640; }

class UnifiedStreamingWindowerTest : public ::testing::Test {
protected:
    // Plans windows 1 … count with exactly the audio each one needs.
    void planSteadily(std::int64_t count) {
        for (std::int64_t k = 1; k <= count; ++k) {
            ASSERT_TRUE(windower.nextWindow(steadyEnd(k), false).has_value()) << k;
        }
    }

    UnifiedStreamingWindower windower{.config = UnifiedConfig{.chunkFrames = 13, .rightFrames = 13}};
};

TEST_F(UnifiedStreamingWindowerTest, SteadyAudioSlidesTheWindowOnceItIsFull) {
    struct Expected {
        std::int64_t window;
        std::int64_t startSample;
    };
    const Expected expected[] = {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 10240}, {8, 26880}, {20, 226560}};
    std::int64_t k = 0;
    for (const auto& e : expected) {
        while (k < e.window - 1) {
            ASSERT_TRUE(windower.nextWindow(steadyEnd(++k), false).has_value());
        }
        const auto plan = windower.nextWindow(steadyEnd(++k), false);
        ASSERT_TRUE(plan.has_value()) << e.window;
        EXPECT_EQ(*plan, (Plan{.startSample = e.startSample,
                               .endSample = steadyEnd(e.window),
                               .startFrame = e.startSample / 1280,
                               .heldBackFrames = 13}))
            << e.window;
    }
}

TEST_F(UnifiedStreamingWindowerTest, TooLittleAudioPlansNothing) {
    EXPECT_EQ(windower.nextWindow(0, true), std::nullopt);
    EXPECT_EQ(windower.nextWindow(30000, false), std::nullopt);
    EXPECT_EQ(windower.consumedSamples, 0);
    EXPECT_FALSE(windower.finalFlushEmitted);
}

TEST_F(UnifiedStreamingWindowerTest, AShortFinalStreamIsOneLastWindow) {
    EXPECT_EQ(windower.nextWindow(30000, true),
              (Plan{.startSample = 0, .endSample = 30000, .startFrame = 0, .heldBackFrames = 0}));
    EXPECT_TRUE(windower.finalFlushEmitted);
    EXPECT_EQ(windower.nextWindow(30000, true), std::nullopt);
    EXPECT_EQ(windower.nextWindow(500000, false), std::nullopt);
}

TEST_F(UnifiedStreamingWindowerTest, TheLastWindowStartsOnAFrameBoundary) {
    planSteadily(6);
    EXPECT_EQ(windower.nextWindow(133121, false),
              (Plan{.startSample = 10240, .endSample = 133120, .startFrame = 8, .heldBackFrames = 13}));
    EXPECT_EQ(windower.nextWindow(133121, true),
              (Plan{.startSample = 11520, .endSample = 133121, .startFrame = 9, .heldBackFrames = 0}));
}

TEST_F(UnifiedStreamingWindowerTest, AFinalCallWithoutNewAudioFlushesTheHeldBackFrames) {
    planSteadily(2);
    EXPECT_EQ(windower.nextWindow(steadyEnd(2), true),
              (Plan{.startSample = 0, .endSample = steadyEnd(2), .startFrame = 0, .heldBackFrames = 0}));
}

TEST_F(UnifiedStreamingWindowerTest, AFinalCallWithAFullStepLeftIsNotYetTheLast) {
    planSteadily(1);
    const auto plan = windower.nextWindow(steadyEnd(2) + 1000, true);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->endSample, steadyEnd(2));
    EXPECT_EQ(plan->heldBackFrames, 13);
    EXPECT_FALSE(windower.finalFlushEmitted);
    EXPECT_EQ(windower.nextWindow(steadyEnd(2) + 1000, true)->heldBackFrames, 0);
}

} // namespace
} // namespace quorl
