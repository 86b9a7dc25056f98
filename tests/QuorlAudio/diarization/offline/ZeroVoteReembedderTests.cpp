#include "QuorlAudio/diarization/offline/ZeroVoteReembedder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Runs = std::vector<ZeroVoteReembedder::Run>;

// Counts of one speaker with no vote over [first, first + length) among `frames` frames voted for otherwise.
struct Frames {
    std::vector<std::int64_t> counts;
    std::vector<std::vector<double>> sums;
};

Frames withZeroVotes(std::size_t frames, std::size_t first, std::size_t length) {
    Frames result{std::vector<std::int64_t>(frames, 1), std::vector<std::vector<double>>(frames, {0.5, 0.0})};
    for (std::size_t frame = first; frame < first + length; ++frame) {
        result.sums[frame] = {0.0, 0.0};
    }
    return result;
}

TEST(ZeroVoteReembedder, RunsLongEnoughAreKept) {
    const struct {
        std::string name;
        Frames frames;
        Runs runs;
    } cases[]{
        {"half a second", withZeroVotes(30, 10, 10), {{10, 20}}},
        {"0.35 s", withZeroVotes(30, 10, 7), {}},
        {"up to the last frame", withZeroVotes(30, 20, 10), {{20, 30}}},
    };
    for (const auto& [name, frames, runs] : cases) {
        EXPECT_EQ(ZeroVoteReembedder::detectRuns(frames.counts, frames.sums, 0.05, 0.4), runs) << name;
    }
}

TEST(ZeroVoteReembedder, OnlyFramesOfOneSpeakerWithoutAnyVoteQualify) {
    auto frames = withZeroVotes(30, 0, 30);
    frames.counts[10] = 2;
    frames.sums[25] = {};
    EXPECT_EQ(ZeroVoteReembedder::detectRuns(frames.counts, frames.sums, 0.05, 0.4), (Runs{{0, 10}, {11, 30}}));
    // Frames past the shorter list are not read.
    frames.sums.resize(20);
    EXPECT_EQ(ZeroVoteReembedder::detectRuns(frames.counts, frames.sums, 0.05, 0.4), (Runs{{0, 10}, {11, 20}}));
    EXPECT_TRUE(ZeroVoteReembedder::detectRuns(frames.counts, frames.sums, 0.0, 0.4).empty());
    EXPECT_TRUE(ZeroVoteReembedder::detectRuns(frames.counts, frames.sums, NAN, 0.4).empty());
}

TEST(ZeroVoteReembedder, TheMostSimilarCentroidWinsAndTiesGoToTheLowerIndex) {
    const auto tie = ZeroVoteReembedder::assignment({1, 1}, {{1, 0}, {0, 1}});
    ASSERT_TRUE(tie);
    EXPECT_EQ(tie->clusterIndex, 0);
    ASSERT_EQ(tie->similarities.size(), 2u);
    EXPECT_NEAR(tie->similarities[0], std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(tie->similarities[1], std::sqrt(0.5), 1e-12);

    const auto clear = ZeroVoteReembedder::assignment({-1, 3}, {{1, 0}, {0, 2}, {-1, 0}});
    ASSERT_TRUE(clear);
    EXPECT_EQ(clear->clusterIndex, 1);
}

TEST(ZeroVoteReembedder, UnusableEmbeddingsGiveNoAssignment) {
    const std::vector<std::vector<double>> centroids{{1, 0}, {0, 1}};
    const struct {
        std::string name;
        std::vector<double> embedding;
        std::vector<std::vector<double>> centroids;
    } cases[]{
        {"empty", {}, centroids},
        {"no centroids", {1, 0}, {}},
        {"another length", std::vector<double>(256, 1.0), centroids},
        {"zero vector", {0, 0}, centroids},
        {"not a number", {NAN, 1}, centroids},
        {"infinite", {INFINITY, 1}, centroids},
        {"zero centroid", {1, 0}, {{1, 0}, {0, 0}}},
    };
    for (const auto& [name, embedding, against] : cases) {
        EXPECT_FALSE(ZeroVoteReembedder::assignment(embedding, against)) << name;
    }
}

} // namespace
} // namespace quorl
