#include "QuorlAudio/diarization/streaming/DiarizerChunkResult.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerSegment.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerSpeaker.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineConfig.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineError.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace quorl {
namespace {

DiarizerSegment segment(std::int64_t start, std::int64_t end, std::int64_t slot = 0, bool finalized = true,
                        float activity = 0.5f) {
    return DiarizerSegment({
        .speakerIndex = slot,
        .startFrame = start,
        .endFrame = end,
        .finalized = finalized,
        .activity = activity,
    });
}

TEST(DiarizerTimelineConfigTests, PresetsHoldTheDocumentedValues) {
    const auto config = DiarizerTimelineConfig::defaultConfig(2, 0.1f);
    EXPECT_EQ(config, (DiarizerTimelineConfig{.numSpeakers = 2, .frameDurationSeconds = 0.1f}));
    EXPECT_EQ(config.onsetThreshold, 0.5f);
    EXPECT_EQ(config.offsetThreshold, 0.5f);
    EXPECT_EQ(config.onsetPadFrames + config.offsetPadFrames + config.minFramesOn + config.minFramesOff, 0);
    EXPECT_FALSE(config.maxStoredFrames.has_value());
    EXPECT_EQ(config.activityType, DiarizerActivityType::sigmoids);
    EXPECT_TRUE(config.storeSegments);
    EXPECT_EQ(DiarizerTimelineConfig::sortformerDefault(), DiarizerTimelineConfig::defaultConfig(4, 0.08f));
    EXPECT_EQ(DiarizerTimelineConfig{}.numSpeakers, 1);
    EXPECT_EQ(DiarizerTimelineConfig{}.frameDurationSeconds, 0.08f);
}

TEST(DiarizerTimelineConfigTests, SecondsBecomeTheNearestFrameHalvesAwayFromZero) {
    DiarizerTimelineConfig config;
    config.setOnsetPadSeconds(0.2f);
    EXPECT_EQ(config.onsetPadFrames, 3);
    EXPECT_FLOAT_EQ(config.onsetPadSeconds(), 0.24f);
    config.setMinDurationOff(-0.2f);
    EXPECT_EQ(config.minFramesOff, -3);

    const auto fromDurations = DiarizerTimelineConfig::fromDurations({
        .offsetPadSeconds = 0.16f,
        .minDurationOn = 0.5f,
        .minDurationOff = 0.03f,
    });
    EXPECT_EQ(fromDurations.numSpeakers, 1);
    EXPECT_EQ(fromDurations.frameDurationSeconds, 0.08f);
    EXPECT_EQ(fromDurations.offsetPadFrames, 2);
    EXPECT_EQ(fromDurations.minFramesOn, 6);
    EXPECT_EQ(fromDurations.minFramesOff, 0);
    EXPECT_THROW(config.setOffsetPadSeconds(std::numeric_limits<float>::infinity()), std::invalid_argument);
    EXPECT_THROW(config.setMinDurationOn(1e30f), std::invalid_argument);
}

TEST(DiarizerActivityTypeTests, LogitsAreClampedLogOdds) {
    const auto logits = evaluationFunction(DiarizerActivityType::logits);
    EXPECT_NEAR(logits(0), -13.8155f, 1e-3f);
    EXPECT_NEAR(logits(1e-7f), -13.8155f, 1e-3f);
    EXPECT_NEAR(logits(1), 13.8023f, 1e-3f);
    EXPECT_EQ(logits(0.5f), 0);
    EXPECT_TRUE(std::isnan(logits(std::numeric_limits<float>::quiet_NaN())));
    EXPECT_EQ(evaluationFunction(DiarizerActivityType::sigmoids)(0.3f), 0.3f);
}

TEST(DiarizerSegmentTests, DerivedValuesComeFromTheFrames) {
    const DiarizerSegment made = DiarizerSegment({.speakerIndex = 2, .startFrame = -2, .endFrame = 8});
    EXPECT_EQ(made.length(), 10);
    EXPECT_FLOAT_EQ(made.startTime(), -0.16f);
    EXPECT_FLOAT_EQ(made.duration(), 0.8f);
    EXPECT_EQ(made.speakerLabel(), "Speaker 2");
    const DiarizerSegment timed =
        DiarizerSegment(DiarizerSegment::Times{.startTime = 0.2f, .endTime = 0.4f, .frameDurationSeconds = 0.08f});
    EXPECT_EQ(timed.startFrame, 3);
    EXPECT_EQ(timed.endFrame, 5);
    EXPECT_NE(timed.id(), DiarizerSegment(DiarizerSegment::Times{}).id());
}

TEST(DiarizerSegmentTests, TouchingSegmentsOverlap) {
    EXPECT_TRUE(segment(10, 20).overlaps(segment(20, 30)));
    EXPECT_TRUE(segment(20, 30).overlaps(segment(10, 20)));
    EXPECT_FALSE(segment(10, 20).overlaps(segment(21, 30)));
}

TEST(DiarizerSegmentTests, AbsorbWeightsTheActivityByLength) {
    DiarizerSegment longer = segment(0, 30, 1, false, 0.6f);
    const auto id = longer.id();
    longer.absorb(segment(40, 50, 3, true, 0.2f));
    EXPECT_FLOAT_EQ(longer.activity, 0.5f);
    EXPECT_EQ(longer.startFrame, 0);
    EXPECT_EQ(longer.endFrame, 50);
    EXPECT_EQ(longer.speakerIndex, 1);
    EXPECT_FALSE(longer.isFinalized);
    EXPECT_EQ(longer.id(), id);

    DiarizerSegment empty = segment(5, 5, 0, true, 0.9f);
    empty.absorb(segment(5, 5, 0, true, 0.9f));
    EXPECT_EQ(empty.activity, 0);
    empty.extendEnd(4);
    empty.extendStart(7);
    EXPECT_EQ(empty.length(), 0);
    empty.extendEnd(9);
    empty.extendStart(1);
    EXPECT_EQ(empty.length(), 8);
}

TEST(DiarizerSegmentTests, EqualityAndOrderIgnoreIdFlagAndActivity) {
    EXPECT_EQ(segment(1, 4, 0, true, 0.2f), segment(1, 4, 0, false, 0.9f));
    EXPECT_NE(segment(1, 4, 0), segment(1, 4, 1));
    std::vector<DiarizerSegment> segments{segment(2, 3, 0), segment(1, 5, 1), segment(1, 5, 0), segment(1, 4, 2)};
    std::sort(segments.begin(), segments.end());
    EXPECT_EQ(segments,
              (std::vector<DiarizerSegment>{segment(1, 4, 2), segment(1, 5, 0), segment(1, 5, 1), segment(2, 3, 0)}));
}

TEST(DiarizerChunkResultTests, ProbabilitiesAreReadWithinTheChunk) {
    const DiarizerChunkResult chunk{
        .finalizedPredictions = {0, 1, 2, 3, 4, 5},
        .finalizedFrameCount = 3,
        .startFrame = 10,
        .tentativePredictions = {6, 7},
        .tentativeFrameCount = 1,
    };
    EXPECT_EQ(chunk.tentativeStartFrame(), 13);
    EXPECT_EQ(chunk.probability(1, 2, 2), 5);
    EXPECT_EQ(chunk.probability(1, 3, 2), 0);
    EXPECT_EQ(chunk.probability(2, 0, 2), 0);
    EXPECT_EQ(chunk.probability(-1, 1, 2), 0);
    EXPECT_EQ(chunk.tentativeProbability(1, 0, 2), 7);
    EXPECT_EQ(chunk.tentativeProbability(0, 1, 2), 0);
    // A count larger than the array is not read past its end.
    const DiarizerChunkResult overstated{.finalizedPredictions = {1}, .finalizedFrameCount = 5};
    EXPECT_EQ(overstated.probability(0, 4, 1), 0);
}

TEST(DiarizerTimelineErrorTests, TheTextsNameTheCountAndTheSlots) {
    const auto finalized = DiarizerTimelineError::misalignedFinalizedPredictions(7, 4);
    EXPECT_STREQ(finalized.what(),
                 "The number of finalized predictions (7) isn't a multiple of the speaker count (4).");
    EXPECT_EQ(finalized.kind(), DiarizerTimelineError::Kind::misalignedFinalizedPredictions);
    EXPECT_EQ(finalized.count(), 7);
    EXPECT_EQ(finalized.numSpeakers(), 4);
    const auto tentative = DiarizerTimelineError::misalignedTentativePredictions(5, 2);
    EXPECT_STREQ(tentative.what(),
                 "The number of tentative predictions (5) isn't a multiple of the speaker count (2).");
    EXPECT_EQ(tentative.kind(), DiarizerTimelineError::Kind::misalignedTentativePredictions);
}

TEST(DiarizerSpeakerTests, DescriptionIsTheNameOrTheSlot) {
    DiarizerSpeaker speaker(platform::core::UUID::random(), 3, std::nullopt);
    EXPECT_EQ(speaker.description(), "Speaker 3");
    speaker.rename("Ana");
    EXPECT_EQ(speaker.description(), "Ana");
    speaker.reassign(5);
    EXPECT_EQ(speaker.index(), 5);
}

TEST(DiarizerSpeakerTests, PopLastPrefersTheTentativeList) {
    DiarizerSpeaker speaker(platform::core::UUID::random(), 0, std::nullopt);
    speaker.append(segment(50, 60, 0, true));
    speaker.append(segment(10, 20, 0, false));
    EXPECT_EQ(speaker.lastSegment(), segment(10, 20));
    EXPECT_EQ(speaker.popLast(), segment(10, 20));
    EXPECT_EQ(speaker.popLast(), segment(50, 60));
    EXPECT_FALSE(speaker.popLast().has_value());
}

TEST(DiarizerSpeakerTests, PopLastIfRemovesOnlyWhatThePredicateAccepts) {
    DiarizerSpeaker speaker(platform::core::UUID::random(), 0, std::nullopt);
    speaker.append(segment(0, 4, 0, true));
    EXPECT_FALSE(speaker.popLastIf([](const DiarizerSegment&) { return false; }).has_value());
    EXPECT_THROW(speaker.popLastIf([](const DiarizerSegment&) -> bool { throw std::runtime_error("no"); }),
                 std::runtime_error);
    EXPECT_EQ(speaker.segmentCount(), 1u);
    EXPECT_EQ(speaker.popLastIf([](const DiarizerSegment& last) { return last.startFrame == 0; }), segment(0, 4));
    EXPECT_FALSE(speaker.hasSegments());
}

TEST(DiarizerSpeakerTests, FinalizeMovesTentativeSegmentsAsTheyAre) {
    DiarizerSpeaker speaker(platform::core::UUID::random(), 1, "Bo");
    speaker.append(segment(0, 2, 1, true));
    speaker.append(segment(3, 5, 1, false));
    EXPECT_EQ(speaker.numSpeechFrames(), 4);
    EXPECT_FLOAT_EQ(speaker.tentativeSpeechDuration(), 0.16f);
    speaker.finalize();
    const auto finalized = speaker.finalizedSegments();
    ASSERT_EQ(finalized.size(), 2u);
    EXPECT_FALSE(finalized[1].isFinalized);
    EXPECT_EQ(speaker.tentativeSegmentCount(), 0u);
    EXPECT_EQ(speaker.numFinalizedSpeechFrames(), 4);
}

TEST(DiarizerSpeakerTests, SnapshotAndRollbackRestoreTheRecord) {
    DiarizerSpeaker speaker(platform::core::UUID::random(), 1, "Ana");
    speaker.append(segment(0, 2, 1, true));
    const auto snapshot = speaker.takeSnapshot();
    speaker.rename("Eve");
    speaker.reassign(2);
    speaker.reset();
    speaker.rollback(snapshot, true);
    EXPECT_EQ(speaker.name(), "Eve");
    EXPECT_EQ(speaker.index(), 1);
    EXPECT_EQ(speaker.finalizedSegmentCount(), 1u);
    speaker.rollback(snapshot, false);
    EXPECT_EQ(speaker.name(), "Ana");

    const DiarizerSpeaker copy(snapshot);
    EXPECT_NE(copy.id(), speaker.id());
    EXPECT_EQ(copy.name(), "Ana");
    EXPECT_EQ(copy.finalizedSegments(), speaker.finalizedSegments());
}

} // namespace
} // namespace quorl
