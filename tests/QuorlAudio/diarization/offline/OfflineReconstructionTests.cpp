#include "QuorlAudio/diarization/offline/OfflineReconstruction.hpp"

#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using platform::sys::LogType;
using Rows = std::vector<std::vector<float>>;

// A configuration that keeps every frame turn as it is.
OfflineDiarizerConfig unfiltered() {
    auto config = OfflineDiarizerConfig::defaultConfig();
    config.embedding.minSegmentDurationSeconds = 0;
    config.postProcessing.minGapDurationSeconds = 0;
    config.postProcessing.exclusiveSegments = false;
    return config;
}

// One window of the rows, 0.05 s per frame.
SegmentationOutput window(const Rows& rows) {
    return SegmentationOutput{.logProbs = {},
                              .speakerWeights = {rows},
                              .numChunks = 1,
                              .numFrames = static_cast<std::int64_t>(rows.size()),
                              .numSpeakers = 3,
                              .chunkOffsets = {0.0},
                              .frameDuration = 0.05};
}

Rows repeated(std::size_t count, const std::vector<float>& row) { return Rows(count, row); }

Rows joined(Rows first, const Rows& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

struct Turn {
    std::string speaker;
    float start;
    float end;

    bool operator==(const Turn&) const = default;
};

std::vector<Turn> turns(const std::vector<TimedSpeakerSegment>& segments) {
    std::vector<Turn> result;
    for (const auto& segment : segments) {
        result.push_back({segment.speakerId, segment.startTimeSeconds, segment.endTimeSeconds});
    }
    return result;
}

class OfflineReconstructionTest : public ::testing::Test {
protected:
    OfflineReconstruction reconstruction(const OfflineDiarizerConfig& config) const {
        return OfflineReconstruction(config, AppLogger("OfflineReconstruction"));
    }

    std::vector<std::string> lines(LogType type) const { return sink.messages("OfflineReconstruction", type); }

    const std::vector<std::vector<double>> centroids{{1, 0}, {0, 1}};
    testsupport::RecordingLogSink sink;
};

TEST_F(OfflineReconstructionTest, AClusterChosenInConsecutiveFramesIsOneTurnWithItsCentroid) {
    const auto segmentation = window(joined(repeated(10, {0, 0.8f, 0}), repeated(5, {0, 0, 0})));
    const auto segments = reconstruction(unfiltered()).buildSegments(segmentation, {{-2, 1, -2}}, centroids);
    ASSERT_EQ(turns(segments), (std::vector<Turn>{{"S2", 0.0f, 0.5f}}));
    EXPECT_EQ(segments[0].embedding, (std::vector<float>{0, 1}));
    EXPECT_FLOAT_EQ(segments[0].qualityScore, 0.8f);
    EXPECT_EQ(lines(LogType::debug), std::vector<std::string>{"Speaker-count histogram 0:5, 1:10"});
}

TEST_F(OfflineReconstructionTest, DegenerateSegmentationsGiveNoTurns) {
    auto segmentation = window(repeated(10, {1, 0, 0}));
    segmentation.frameDuration = 0;
    EXPECT_TRUE(reconstruction(unfiltered()).buildSegments(segmentation, {{0}}, centroids).empty());
    EXPECT_TRUE(lines(LogType::debug).empty());
}

TEST_F(OfflineReconstructionTest, TurnsEndingInOneFrameComeOutInClusterOrder) {
    // Cluster 1 is the stronger of the two, so it is named first in every frame.
    const auto segmentation = window(joined(repeated(10, {1, 0.6f, 0}), repeated(2, {0, 0, 0})));
    const auto segments =
        reconstruction(unfiltered()).buildSegments(segmentation, {{1, 0, -2}}, {{1, 0}, {0, 1}, {1, 1}});
    EXPECT_EQ(turns(segments), (std::vector<Turn>{{"S1", 0.0f, 0.5f}, {"S2", 0.0f, 0.5f}}));
}

// Without any cluster, the turns carry no embedding; a cluster beyond the centroids is never chosen.
TEST_F(OfflineReconstructionTest, WithoutCentroidsTheTieBreakNamesS1) {
    const auto segments = reconstruction(unfiltered()).buildSegments(window(repeated(4, {1, 0, 0})), {{5}}, {});
    ASSERT_EQ(turns(segments), (std::vector<Turn>{{"S1", 0.0f, 0.2f}}));
    EXPECT_TRUE(segments[0].embedding.empty());
    EXPECT_EQ(segments[0].qualityScore, 0.0f);
}

TEST_F(OfflineReconstructionTest, TheDefaultCleanUpMergesDropsAndCutsTurns) {
    // S1 speaks 0–1 s and, after 0.05 s of silence, 1.05–2 s; S2 overlaps it from 1.5 s to 3.1 s; S1 again for
    // 0.9 s alone from 3.5 s.
    Rows rows = joined(repeated(20, {1, 0, 0}), repeated(1, {0, 0, 0}));
    rows = joined(rows, repeated(9, {1, 0, 0}));
    rows = joined(rows, repeated(10, {1, 1, 0}));
    rows = joined(rows, repeated(22, {0, 1, 0}));
    rows = joined(rows, repeated(8, {0, 0, 0}));
    rows = joined(rows, repeated(18, {1, 0, 0}));
    const auto segments =
        reconstruction(OfflineDiarizerConfig::defaultConfig()).buildSegments(window(rows), {{0, 1, -2}}, centroids);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0].speakerId, "S1");
    EXPECT_FLOAT_EQ(segments[0].startTimeSeconds, 0.0f);
    EXPECT_FLOAT_EQ(segments[0].endTimeSeconds, 2.0f);
    EXPECT_EQ(segments[1].speakerId, "S2");
    EXPECT_FLOAT_EQ(segments[1].startTimeSeconds, 2.0f);
    EXPECT_FLOAT_EQ(segments[1].endTimeSeconds, 3.1f);
}

TEST_F(OfflineReconstructionTest, TheSpeakerDatabaseAveragesTheTurnsOfEachSpeaker) {
    const auto database = reconstruction(unfiltered())
                              .buildSpeakerDatabase({
                                  {.speakerId = "S1", .embedding = {1, 3}},
                                  {.speakerId = "S2", .embedding = {7, 7}},
                                  {.speakerId = "S1", .embedding = {3, 5}},
                                  {.speakerId = "S1", .embedding = {100}},
                              });
    EXPECT_EQ(database, (std::map<std::string, std::vector<float>>{{"S1", {2, 4}}, {"S2", {7, 7}}}));
    EXPECT_TRUE(reconstruction(unfiltered()).buildSpeakerDatabase({}).empty());
}

class ZeroVoteRepairTest : public OfflineReconstructionTest {
protected:
    // Frames 0–9 voted for S1; frames 10–19 hold one speaker nobody voted for; frames 20–29 voted for S1 again.
    std::vector<TimedSpeakerSegment> build(const OfflineReconstruction::SpanEmbedder& embedder, bool enabled = true) {
        auto config = unfiltered();
        config.zeroVoteReembed.enabled = enabled;
        const auto rows = joined(joined(repeated(10, {1, 0, 0}), repeated(10, {0, 0, 1})), repeated(10, {1, 0, 0}));
        return reconstruction(config).buildSegments(window(rows), {{0, -2, -2}}, centroids, embedder);
    }

    OfflineReconstruction::SpanEmbedder answering(std::optional<std::vector<float>> embedding) {
        return [this, embedding = std::move(embedding)](double start, double end) {
            spans.emplace_back(start, end);
            return embedding;
        };
    }

    std::vector<std::pair<double, double>> spans;
};

TEST_F(ZeroVoteRepairTest, ARunWithoutVotesGoesToTheMostSimilarCentroid) {
    const auto segments = build(answering(std::vector<float>{0.1f, 0.9f}));
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_DOUBLE_EQ(spans[0].first, 0.5);
    EXPECT_DOUBLE_EQ(spans[0].second, 1.0);
    EXPECT_EQ(turns(segments), (std::vector<Turn>{{"S1", 0.0f, 0.5f}, {"S2", 0.5f, 1.0f}, {"S1", 1.0f, 1.5f}}));
    EXPECT_EQ(lines(LogType::info),
              std::vector<std::string>{"Zero-vote re-embed [0.50s\u20131.00s]: assigned S2 (cosines [0.110, 0.994])"});
}

TEST_F(ZeroVoteRepairTest, AnUnusableEmbeddingKeepsTheTieBreak) {
    const std::vector<std::optional<std::vector<float>>> answers{std::nullopt, std::vector<float>(256, 1.0f),
                                                                 std::vector<float>{0, 0}};
    for (const auto& answer : answers) {
        const auto segments = build(answering(answer));
        EXPECT_EQ(turns(segments), (std::vector<Turn>{{"S1", 0.0f, 1.5f}}));
    }
    EXPECT_EQ(lines(LogType::info), std::vector<std::string>{});
    const std::string warning = "Zero-vote re-embed [0.50s\u20131.00s]: embedding failed; keeping tie-break assignment";
    EXPECT_EQ(lines(LogType::error), std::vector<std::string>(3, warning));
}

TEST_F(ZeroVoteRepairTest, NothingIsReembeddedWhenDisabled) {
    const auto segments = build(answering(std::vector<float>{0, 1}), false);
    EXPECT_TRUE(spans.empty());
    EXPECT_EQ(turns(segments), (std::vector<Turn>{{"S1", 0.0f, 1.5f}}));
}

} // namespace
} // namespace quorl
