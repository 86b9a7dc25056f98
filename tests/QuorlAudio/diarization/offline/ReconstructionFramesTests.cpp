#include "QuorlAudio/diarization/offline/ReconstructionFrames.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Rows = std::vector<std::vector<float>>;
using Clusters = std::vector<std::vector<std::int64_t>>;

// Windows of the given rows starting at the given seconds, 0.5 s per frame.
SegmentationOutput windows(const std::vector<Rows>& rows, std::vector<double> offsets) {
    return SegmentationOutput{.logProbs = {},
                              .speakerWeights = rows,
                              .numChunks = static_cast<std::int64_t>(rows.size()),
                              .numFrames = static_cast<std::int64_t>(rows.front().size()),
                              .numSpeakers = 3,
                              .chunkOffsets = std::move(offsets),
                              .frameDuration = 0.5};
}

TEST(ReconstructionFrames, DegenerateSegmentationsHaveNoGrid) {
    auto empty = windows({{{1, 0, 0}}}, {0.0});
    empty.numChunks = 0;
    auto frameless = windows({{{1, 0, 0}}}, {0.0});
    frameless.numFrames = 0;
    auto instant = windows({{{1, 0, 0}}}, {0.0});
    instant.frameDuration = 0;
    auto unending = windows({{{1, 0, 0}}}, {INFINITY});
    for (const auto* segmentation : {&empty, &frameless, &instant, &unending}) {
        EXPECT_FALSE(ReconstructionFrames::build(*segmentation, {{0, 1, 2}}, 3, 10.0));
    }
}

// A row without clusters still tells how many talk; two local speakers of one cluster give their maximum.
TEST(ReconstructionFrames, WeightsCountSpeakersWhileOnlyAssignedSpeakersVote) {
    const auto segmentation = windows({{{0.3f, 0.8f, 0}, {1, 1, 0}}, {{1, 1, 0}, {0, 0, 0}}}, {0.0, 0.5});
    const auto frames = ReconstructionFrames::build(segmentation, {{0, 0, -2}, {-2, -2, -2}}, 2, 10.0);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->frameCount(), 3);
    EXPECT_EQ(frames->activationSums, (std::vector<std::vector<double>>{{0.8f, 0}, {1, 0}, {0, 0}}));
    EXPECT_EQ(frames->voteCounts, (std::vector<std::vector<double>>{{1, 0}, {1, 0}, {0, 0}}));
    // Frame 0: 1.1 → 1; frame 1: (2 + 2) / 2 → 2; frame 2: nobody.
    EXPECT_EQ(frames->speakerCountPerFrame, (std::vector<std::int64_t>{1, 2, 0}));
    EXPECT_EQ(frames->perFrameClusters, (std::vector<std::vector<std::int64_t>>{{0}, {0, 1}, {}}));
    EXPECT_EQ(frames->countHistogram, (std::map<std::int64_t, std::int64_t>{{0, 1}, {1, 1}, {2, 1}}));
}

TEST(ReconstructionFrames, MeanWeightsRoundHalfToEven) {
    const auto segmentation = windows({{{1, 0.5f, 0}, {1, 1, 0.5f}, {0.5f, 0, 0}, {1, 1, 1}}}, {0.0});
    const auto frames = ReconstructionFrames::build(segmentation, {{0, 1, 2}}, 3, 10.0);
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->speakerCountPerFrame, (std::vector<std::int64_t>{2, 2, 0, 3}));
    // More speakers than clusters are never counted.
    EXPECT_EQ(ReconstructionFrames::build(segmentation, {{0, 1, 2}}, 2, 10.0)->speakerCountPerFrame,
              (std::vector<std::int64_t>{2, 2, 0, 2}));
}

TEST(ReconstructionFrames, FramesWithFewerVotesThanSpeakersFillUpFromTheLowestCluster) {
    const auto segmentation = windows({{{1, 1, 0}, {0, 0.6f, 0.9f}}}, {0.0});
    const auto frames = ReconstructionFrames::build(segmentation, {{3, -2, -2, 9}, {}}, 4, 10.0);
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->perFrameClusters[0], (std::vector<std::int64_t>{3, 0}));
    EXPECT_EQ(frames->perFrameClusters[1], (std::vector<std::int64_t>{0, 1}));
}

TEST(ReconstructionFrames, MissingOffsetsFallBackToWholeWindowsAndRowsLandOnTheNearestFrame) {
    // The second window starts at 1 × 1.0 s; its rows land on frames 2 and 3.
    const auto segmentation = windows({{{1, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {0, 1, 0}}}, {0.0});
    const auto frames = ReconstructionFrames::build(segmentation, {{0}, {1, 1}}, 2, 1.0);
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->perFrameClusters, (std::vector<std::vector<std::int64_t>>{{0}, {0}, {1}, {1}}));
    EXPECT_EQ(frames->meanActivations[2], (std::vector<double>{0, 1}));
}

} // namespace
} // namespace quorl
