#include "QuorlAudio/diarization/streaming/DiarizerTimeline.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace quorl {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();

struct Expected {
    std::int64_t start;
    std::int64_t end;
    float activity;
};

void expectSegments(const std::vector<DiarizerSegment>& actual, const std::vector<Expected>& expected, bool finalized,
                    const std::string& name) {
    ASSERT_EQ(actual.size(), expected.size()) << name;
    for (std::size_t index = 0; index < actual.size(); ++index) {
        EXPECT_EQ(actual[index].startFrame, expected[index].start) << name << " #" << index;
        EXPECT_EQ(actual[index].endFrame, expected[index].end) << name << " #" << index;
        EXPECT_FLOAT_EQ(actual[index].activity, expected[index].activity) << name << " #" << index;
        EXPECT_EQ(actual[index].isFinalized, finalized) << name << " #" << index;
    }
}

// One slot, thresholds 0.5, no pads or minimums unless a case says otherwise; one chunk.
TEST(TimelineSegmentBuilderTests, OneChunkOnOneSlot) {
    const std::vector<float> example{0.2f, 0.8f, 0.9f, 0.3f, 0.7f, 0.1f};
    const struct {
        const char* name;
        DiarizerTimelineConfig config;
        std::vector<float> finalized;
        std::vector<float> tentative;
        std::vector<Expected> finalizedSegments;
        std::vector<Expected> tentativeSegments;
    } cases[] = {
        {"two runs", {}, example, {}, {{1, 3, 0.85f}, {4, 5, 0.7f}}, {}},
        {"a bridged gap waits", {.minFramesOff = 1}, example, {}, {}, {{1, 5, (0.8f + 0.9f + 0.7f) / 3}}},
        {"a short run is dropped", {.minFramesOn = 2}, example, {}, {{1, 3, 0.85f}}, {}},
        {"equal to the onset threshold starts nothing", {}, {0.5f, 0.5f}, {}, {}, {}},
        {"equal to the offset threshold goes on", {}, {0.6f, 0.5f, 0.4f}, {}, {{0, 2, 0.55f}}, {}},
        {"NaN ends a run and starts none", {}, {0.9f, nan, nan, 0.1f}, {}, {{0, 1, 0.9f}}, {}},
        {"the frame that ends a run starts none",
         {.offsetThreshold = 0.95f},
         {0.9f, 0.9f, 0.1f},
         {},
         {{0, 1, 0.9f}},
         {}},
        // The pads also hold a closed segment back until the block ends far enough after it.
        {"an onset pad reaches before frame 0", {.onsetPadFrames = 2}, {0.9f, 0.1f}, {}, {}, {{-2, 1, 0.9f}}},
        {"an offset pad extends the end", {.offsetPadFrames = 1}, {0.9f, 0.1f, 0.1f, 0.1f}, {}, {{0, 2, 0.9f}}, {}},
        {"a run in progress is tentative", {}, {0.2f, 0.8f}, {0.9f, 0.9f}, {}, {{1, 4, (0.8f + 0.9f + 0.9f) / 3}}},
        {"a waiting segment is reported with the trailing run",
         {.minFramesOff = 2},
         {0.9f, 0.1f, 0.1f},
         {0.8f},
         {},
         {{0, 4, (0.9f + 0.8f) / 2}}},
        {"logits measure the activity",
         {.activityType = DiarizerActivityType::logits},
         {0.5f, 0.9f, 0.1f},
         {},
         {{1, 2, evaluationFunction(DiarizerActivityType::logits)(0.9f)}},
         {}},
    };
    for (const auto& c : cases) {
        DiarizerTimeline timeline(c.config);
        const auto update = timeline.addPredictions(c.finalized, c.tentative);
        expectSegments(update.finalizedSegments, c.finalizedSegments, true, c.name);
        expectSegments(update.tentativeSegments, c.tentativeSegments, false, c.name);
    }
}

TEST(TimelineSegmentBuilderTests, EachTentativePassStartsFromTheLastFinalizedState) {
    DiarizerTimeline timeline(DiarizerTimelineConfig{});
    timeline.addPredictions(std::vector<float>{0.2f, 0.8f}, std::vector<float>{0.9f, 0.9f});
    const auto next = timeline.addPredictions(std::vector<float>{0.9f}, std::vector<float>{0.1f});
    expectSegments(next.finalizedSegments, {}, true, "second chunk");
    expectSegments(next.tentativeSegments, {{1, 3, (0.8f + 0.9f) / 2}}, false, "second chunk");
    const auto speaker = timeline.speakers().at(0);
    expectSegments(speaker->tentativeSegments(), {{1, 3, (0.8f + 0.9f) / 2}}, false, "stored");
}

TEST(TimelineSegmentBuilderTests, AWaitingSegmentBecomesFinalOnceTheGapIsTooLong) {
    DiarizerTimeline timeline(DiarizerTimelineConfig{.minFramesOff = 2});
    const auto first = timeline.addPredictions(std::vector<float>{0.9f, 0.1f}, {});
    expectSegments(first.finalizedSegments, {}, true, "waiting");
    expectSegments(first.tentativeSegments, {{0, 1, 0.9f}}, false, "waiting");
    const auto second = timeline.addPredictions(std::vector<float>{0.1f, 0.1f}, {});
    expectSegments(second.finalizedSegments, {{0, 1, 0.9f}}, true, "final");
    expectSegments(second.tentativeSegments, {}, false, "final");
}

TEST(TimelineSegmentBuilderTests, SegmentsComeGroupedBySlot) {
    DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2});
    // Slot 1 speaks first, slot 0 later.
    const auto update = timeline.addPredictions(std::vector<float>{0.1f, 0.9f, 0.9f, 0.1f, 0.1f, 0.1f}, {});
    ASSERT_EQ(update.finalizedSegments.size(), 2u);
    EXPECT_EQ(update.finalizedSegments[0].speakerIndex, 0);
    EXPECT_EQ(update.finalizedSegments[0].startFrame, 1);
    EXPECT_EQ(update.finalizedSegments[1].speakerIndex, 1);
    EXPECT_EQ(update.finalizedSegments[1].startFrame, 0);
    const auto speakers = timeline.speakers();
    ASSERT_EQ(speakers.size(), 2u);
    EXPECT_EQ(speakers.at(1)->index(), 1);
    EXPECT_FALSE(speakers.at(1)->name().has_value());
}

TEST(TimelineSegmentBuilderTests, WithoutStoringSegmentsNoSpeakerIsMade) {
    DiarizerTimeline timeline(DiarizerTimelineConfig{.storeSegments = false});
    const auto update = timeline.addPredictions(std::vector<float>{0.9f, 0.1f}, {});
    EXPECT_EQ(update.finalizedSegments.size(), 1u);
    EXPECT_TRUE(timeline.speakers().empty());
}

} // namespace
} // namespace quorl
