#include "QuorlAudio/diarization/chunked/DiarizationDER.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <unordered_set>

namespace quorl {
namespace {

using Segments = std::vector<DERSpeakerSegment>;
using Mapping = std::map<std::string, std::string>;

TEST(DiarizationDERTests, BothEmptyScoresNothing) {
    const auto result = DiarizationDER::compute({}, {}, 0.5, 0.0);
    EXPECT_EQ(result.der, 0);
    EXPECT_EQ(result.miss, 0);
    EXPECT_EQ(result.falseAlarm, 0);
    EXPECT_EQ(result.confusion, 0);
    EXPECT_EQ(result.totalRefSpeech, 0);
    EXPECT_TRUE(result.mapping.empty());
}

TEST(DiarizationDERTests, EmptyReferenceCountsTheHypothesisAsFalseAlarm) {
    const auto result = DiarizationDER::compute({}, {{"x", 0.0, 2.0}}, 0.5, 0.0);
    EXPECT_EQ(result.totalRefSpeech, 0);
    EXPECT_EQ(result.der, 0);
    EXPECT_DOUBLE_EQ(result.falseAlarm, 2.0);
    EXPECT_TRUE(result.mapping.empty());
}

TEST(DiarizationDERTests, EmptyHypothesisMissesEverything) {
    const auto result = DiarizationDER::compute({{"a", 0.0, 3.0}, {"b", 3.0, 4.0}}, {}, 0.5, 0.0);
    EXPECT_DOUBLE_EQ(result.totalRefSpeech, 4.0);
    EXPECT_DOUBLE_EQ(result.miss, result.totalRefSpeech);
    EXPECT_DOUBLE_EQ(result.der, 1.0);
}

TEST(DiarizationDERTests, RelabelledHypothesisScoresZeroAndMapsEachLabel) {
    const Segments ref{{"alice", 0.0, 2.0}, {"bob", 2.0, 5.0}, {"alice", 5.0, 6.5}, {"carol", 7.0, 9.0}};
    Segments hyp;
    const Mapping names{{"alice", "S2"}, {"bob", "S0"}, {"carol", "S1"}};
    for (const auto& segment : ref) {
        hyp.push_back({names.at(segment.speaker), segment.start, segment.end});
    }
    const auto result = DiarizationDER::compute(ref, hyp, 0.1, 0.0);
    EXPECT_EQ(result.der, 0);
    EXPECT_EQ(result.confusion, 0);
    EXPECT_EQ(result.mapping, (Mapping{{"S2", "alice"}, {"S0", "bob"}, {"S1", "carol"}}));
}

TEST(DiarizationDERTests, SwappedHalfIsConfusion) {
    // "y" shares more frames with "b" than with "a", so the two frames it spends in "a" are confusion.
    const auto result =
        DiarizationDER::compute({{"a", 0.0, 2.0}, {"b", 2.0, 6.0}}, {{"x", 0.0, 1.0}, {"y", 1.0, 6.0}}, 0.5, 0.0);
    EXPECT_EQ(result.mapping, (Mapping{{"x", "a"}, {"y", "b"}}));
    EXPECT_DOUBLE_EQ(result.confusion, 1.0);
    EXPECT_DOUBLE_EQ(result.totalRefSpeech, 6.0);
    EXPECT_DOUBLE_EQ(result.der, 1.0 / 6.0);
}

TEST(DiarizationDERTests, HypothesisSpeakerSharingNoFrameWithItsColumnIsUnmapped) {
    const auto result = DiarizationDER::compute({{"a", 0.0, 2.0}}, {{"x", 0.0, 2.0}, {"y", 4.0, 5.0}}, 0.5, 0.0);
    EXPECT_EQ(result.mapping, (Mapping{{"x", "a"}}));
    EXPECT_DOUBLE_EQ(result.falseAlarm, 1.0);
}

TEST(DiarizationDERTests, OverlappingReferenceWithOneHypothesisSpeakerIsMissNotConfusion) {
    const auto result = DiarizationDER::compute({{"a", 0.0, 2.0}, {"b", 1.0, 2.0}}, {{"x", 0.0, 2.0}}, 0.5, 0.0);
    EXPECT_DOUBLE_EQ(result.miss, 1.0); // frames 2 and 3
    EXPECT_EQ(result.confusion, 0);
    EXPECT_DOUBLE_EQ(result.totalRefSpeech, 3.0);
}

TEST(DiarizationDERTests, FramesRoundToTheNearestWithHalvesGoingDown) {
    // 0.25 s is frame 0 and 1.25 s frame 2, so the span covers frames 0 and 1 exactly.
    const auto result = DiarizationDER::compute({{"a", 0.25, 1.25}}, {}, 0.5, 0.0);
    EXPECT_DOUBLE_EQ(result.totalRefSpeech, 1.0);
    // 0.75 s is frame 1.
    EXPECT_DOUBLE_EQ(DiarizationDER::compute({{"a", 0.75, 1.25}}, {}, 0.5, 0.0).totalRefSpeech, 0.5);
}

TEST(DiarizationDERTests, CollarUnscoresTheFramesAroundEachReferenceBoundary) {
    // A boundary at 2.0 s with a 1.0 s collar covers 1.5 to 2.5 s: frames 3 and 4.
    const Segments ref{{"a", 0.0, 2.0}};
    EXPECT_DOUBLE_EQ(DiarizationDER::compute(ref, {}, 0.5, 0.0).totalRefSpeech, 2.0);
    const auto collared = DiarizationDER::compute(ref, {{"x", 0.0, 3.0}}, 0.5, 1.0);
    // Frame 0 lies under the collar of the start (-0.5 to 0.5 s); frames 1 and 2 stay scored, 3 and 4 do not,
    // and the hypothesis frame 5 past the reference is a scored false alarm.
    EXPECT_DOUBLE_EQ(collared.totalRefSpeech, 1.0);
    EXPECT_DOUBLE_EQ(collared.falseAlarm, 0.5);
    EXPECT_EQ(collared.miss, 0);
}

TEST(DiarizationDERTests, SpanEndingAtTheLastEndIsCountedWhole) {
    // A last end of 10.0 s gives 21 frames, so a span reaching it keeps all of its 20 frames.
    const auto result = DiarizationDER::compute({{"a", 0.0, 10.0}}, {{"x", 9.0, 10.0}}, 0.5, 0.0);
    EXPECT_DOUBLE_EQ(result.totalRefSpeech, 10.0);
    EXPECT_DOUBLE_EQ(result.miss, 9.0);
    EXPECT_EQ(result.falseAlarm, 0);
}

TEST(DiarizationDERTests, EmptySpansKeepTheirLabelsButMarkNothing) {
    const auto result = DiarizationDER::compute({{"a", 2.0, 2.0}, {"b", 0.0, 1.0}}, {{"x", 0.0, 1.0}}, 0.5, 1.0);
    EXPECT_EQ(result.mapping, (Mapping{{"x", "b"}}));
    EXPECT_EQ(result.der, 0);
}

TEST(DiarizationDERTests, RefusesStepsOutsideTheirDomain) {
    const Segments ref{{"a", 0.0, 1.0}};
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (const double step : {0.0, -0.5, nan, inf}) {
        EXPECT_THROW(DiarizationDER::compute(ref, ref, step, 0.0), std::invalid_argument) << step;
    }
    for (const double collar : {-0.1, nan, inf}) {
        EXPECT_THROW(DiarizationDER::compute(ref, ref, 0.5, collar), std::invalid_argument) << collar;
    }
    EXPECT_THROW(DiarizationDER::compute({{"a", 0.0, inf}}, {}, 0.5, 0.0), std::invalid_argument);
    EXPECT_THROW(DiarizationDER::compute({}, {{"x", nan, 1.0}}, 0.5, 0.0), std::invalid_argument);
}

TEST(DiarizationDERTests, SegmentsCompareAndHashOverAllFields) {
    const DERSpeakerSegment segment{"a", 1.0, 2.0};
    EXPECT_EQ(segment, (DERSpeakerSegment{"a", 1.0, 2.0}));
    EXPECT_NE(segment, (DERSpeakerSegment{"b", 1.0, 2.0}));
    EXPECT_NE(segment, (DERSpeakerSegment{"a", 1.5, 2.0}));
    EXPECT_NE(segment, (DERSpeakerSegment{"a", 1.0, 2.5}));
    const std::unordered_set<DERSpeakerSegment> set{segment, {"a", 1.0, 2.0}, {"a", 2.0, 1.0}};
    EXPECT_EQ(set.size(), 2u);
}

} // namespace
} // namespace quorl
