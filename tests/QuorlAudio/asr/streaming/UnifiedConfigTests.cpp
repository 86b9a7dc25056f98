#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace quorl {
namespace {

struct GeometryCase {
    std::int64_t chunkFrames;
    std::int64_t rightFrames;
    std::string contextSuffix;
    std::int64_t latencyMs;
    std::int64_t windowSamples;
};

TEST(UnifiedConfigTest, TheStreamingGeometriesHaveTheirSizes) {
    const GeometryCase cases[] = {
        {13, 13, "70_13_13", 2080, 122880},
        {7, 7, "70_7_7", 1120, 107520},
        {2, 2, "70_2_2", 320, 94720},
        {7, 1, "70_7_1", 640, 99840},
    };
    for (const auto& c : cases) {
        const UnifiedConfig config{.chunkFrames = c.chunkFrames, .rightFrames = c.rightFrames};
        EXPECT_EQ(config.contextSuffix(), c.contextSuffix);
        EXPECT_EQ(config.latencyMs(), c.latencyMs) << c.contextSuffix;
        EXPECT_EQ(config.windowSamples(), c.windowSamples) << c.contextSuffix;
        EXPECT_EQ(config.chunkSamples(), c.chunkFrames * 1280) << c.contextSuffix;
        EXPECT_EQ(config.rightSamples(), c.rightFrames * 1280) << c.contextSuffix;
    }
}

TEST(UnifiedConfigTest, LatencyIsRoundedDown) {
    const UnifiedConfig config{.chunkFrames = 1, .rightFrames = 0, .sampleRate = 16000, .frameSamples = 1};
    EXPECT_EQ(config.latencyMs(), 0);
}

} // namespace
} // namespace quorl
