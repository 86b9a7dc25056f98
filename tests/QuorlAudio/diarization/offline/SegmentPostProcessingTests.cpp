#include "QuorlAudio/diarization/offline/SegmentPostProcessing.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

TimedSpeakerSegment turn(const std::string& speaker, float start, float end, float score = 1.0f) {
    return TimedSpeakerSegment{.speakerId = speaker,
                               .embedding = {static_cast<float>(speaker.back() - '0')},
                               .startTimeSeconds = start,
                               .endTimeSeconds = end,
                               .qualityScore = score};
}

struct Span {
    std::string speaker;
    float start;
    float end;

    bool operator==(const Span&) const = default;
};

std::vector<Span> spans(const std::vector<TimedSpeakerSegment>& segments) {
    std::vector<Span> result;
    for (const auto& segment : segments) {
        result.push_back({segment.speakerId, segment.startTimeSeconds, segment.endTimeSeconds});
    }
    return result;
}

TEST(SegmentPostProcessing, NeighboursOfOneSpeakerMergeAcrossShortGapsAndOverlaps) {
    const auto merged =
        SegmentPostProcessing::mergeSegments({turn("S1", 3.0f, 4.0f, 0.2f), turn("S1", 0.0f, 1.0f, 1.0f),
                                              turn("S1", 1.08f, 2.08f, 0.5f), turn("S1", 1.5f, 1.9f, 0.0f)},
                                             0.1);
    EXPECT_EQ(spans(merged), (std::vector<Span>{{"S1", 0.0f, 2.08f}, {"S1", 3.0f, 4.0f}}));
    // In start order: 1 s at 1.0 and 1 s at 0.5 give 0.75 over 2.08 s, then 0.4 s at 0.
    EXPECT_NEAR(merged[0].qualityScore, 2.08 * 0.75 / 2.48, 1e-6);
    EXPECT_EQ(merged[0].embedding, std::vector<float>{1.0f});
    EXPECT_TRUE(SegmentPostProcessing::mergeSegments({}, 0.1).empty());
}

TEST(SegmentPostProcessing, AnotherSpeakerInBetweenKeepsTurnsApart) {
    const auto merged = SegmentPostProcessing::mergeSegments(
        {turn("S1", 0.0f, 1.0f), turn("S2", 0.5f, 0.6f), turn("S1", 1.0f, 2.0f)}, 0.1);
    EXPECT_EQ(spans(merged), (std::vector<Span>{{"S1", 0.0f, 1.0f}, {"S2", 0.5f, 0.6f}, {"S1", 1.0f, 2.0f}}));
}

TEST(SegmentPostProcessing, InstantTurnsAverageTheirScores) {
    const auto merged =
        SegmentPostProcessing::mergeSegments({turn("S1", 1.0f, 1.0f, 0.2f), turn("S1", 1.0f, 1.0f, 0.6f)}, 0.1);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_FLOAT_EQ(merged[0].qualityScore, 0.4f);
}

TEST(SegmentPostProcessing, ShortTurnsAreDropped) {
    EXPECT_EQ(spans(SegmentPostProcessing::dropShortSegments(
                  {turn("S2", 5.0f, 6.0f), turn("S1", 0.0f, 0.9f), turn("S3", 2.0f, 3.5f)}, 1.0f)),
              (std::vector<Span>{{"S3", 2.0f, 3.5f}, {"S2", 5.0f, 6.0f}}));
}

TEST(SegmentPostProcessing, OverlapsAreCutFromTheLaterTurn) {
    const auto kept = SegmentPostProcessing::excludeOverlaps(
        {turn("S1", 0.0f, 3.0f), turn("S2", 2.0f, 5.0f, 0.9f), turn("S3", 4.5f, 5.5f), turn("S1", 4.8f, 4.9f)}, 1.0f);
    EXPECT_EQ(spans(kept), (std::vector<Span>{{"S1", 0.0f, 3.0f}, {"S2", 3.0f, 5.0f}}));
    EXPECT_NEAR(kept[1].qualityScore, 0.9f * 2.0f / 3.0f, 1e-6);
}

} // namespace
} // namespace quorl
