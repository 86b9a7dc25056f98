#include "QuorlAudio/diarization/chunked/TimedSegmentBuilder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace quorl {
namespace {

constexpr double step = 0.016875;

// Frames in which each speaker holds `value` over its frame range [from, to).
struct Activity {
    std::size_t speaker;
    std::size_t from;
    std::size_t to;
    float value = 1.0f;
};

TimedSegmentBuilder::Request requestOf(std::size_t frames, const std::vector<Activity>& activities, double offset) {
    TimedSegmentBuilder::Request request{
        .frames = std::vector<std::vector<float>>(frames, std::vector<float>(3, 0.0f)),
        .slidingWindow = {.start = offset, .duration = 0.0619375, .step = step},
        .embeddings = std::vector<std::vector<float>>(3, std::vector<float>(256, 0.1f)),
        .speakerIds = {"1", "2", "3"},
        .speakerActivities = std::vector<float>(3, 0.0f),
    };
    for (const auto& [speaker, from, to, value] : activities) {
        for (std::size_t frame = from; frame < to; ++frame) {
            request.frames[frame][speaker] = value;
            request.speakerActivities[speaker] += value;
        }
    }
    return request;
}

struct Turn {
    std::string speakerId;
    float start;
    float end;
    bool operator==(const Turn&) const = default;
};

std::vector<Turn> turnsOf(const std::vector<TimedSpeakerSegment>& segments) {
    std::vector<Turn> turns;
    for (const auto& segment : segments) {
        turns.push_back({segment.speakerId, segment.startTimeSeconds, segment.endTimeSeconds});
    }
    return turns;
}

float at(double offset, double frame) { return static_cast<float>(offset + step * frame); }

TEST(TimedSegmentBuilderTest, ARunOfFramesBecomesATurnOnTheCallersTimeline) {
    const TimedSegmentBuilder builder;
    const auto segments = builder.createTimedSegments(requestOf(589, {{0, 10, 70}}, 20.0));
    ASSERT_EQ(turnsOf(segments), (std::vector<Turn>{{"1", at(20, 10), at(20, 70)}}));
    // 60 active frames over a run of 60, times the embedding's norm of 1.6 over 10.
    EXPECT_FLOAT_EQ(segments[0].qualityScore, std::sqrt(256 * 0.1f * 0.1f) / 10.0f);
    EXPECT_EQ(segments[0].embedding, std::vector<float>(256, 0.1f));
}

TEST(TimedSegmentBuilderTest, TurnsFollowTheRulesOfActivityDurationAndIds) {
    struct Case {
        std::string name;
        TimedSegmentBuilder::Request request;
        std::vector<Turn> expected;
    };
    auto withoutId = requestOf(589, {{0, 10, 70}}, 0);
    withoutId.speakerIds = {""};
    auto withNaN = requestOf(589, {{0, 10, 70}}, 0);
    withNaN.frames[40][0] = std::numeric_limits<float>::quiet_NaN();
    withNaN.frames[80][0] = std::numeric_limits<float>::quiet_NaN();
    const std::vector<Case> cases{
        {"a run reaching the last frame ends at the window's end",
         requestOf(100, {{1, 30, 100}}, 5),
         {{"2", at(5, 30), at(5, 100)}}},
        {"0.2 counts beside another speaker above 0.3",
         requestOf(589, {{0, 0, 100, 0.2f}, {1, 0, 100, 0.5f}}, 0),
         {{"1", 0, at(0, 100)}, {"2", 0, at(0, 100)}}},
        {"0.2 alone does not count", requestOf(589, {{0, 0, 100, 0.2f}}, 0), {}},
        {"an activity of 9 frames gives no turn", requestOf(589, {{0, 0, 9}}, 0), {}},
        {"runs under a second are dropped",
         requestOf(589, {{0, 0, 59}, {0, 100, 160}}, 0),
         {{"1", at(0, 100), at(0, 160)}}},
        {"a speaker without id gets no turn", withoutId, {}},
        {"NaN frames neither close nor open a run", withNaN, {{"1", at(0, 10), at(0, 70)}}},
        {"turns are sorted by start, ties in speaker order",
         requestOf(589, {{2, 0, 100}, {1, 200, 300}, {0, 200, 300}}, 0),
         {{"3", 0, at(0, 100)}, {"1", at(0, 200), at(0, 300)}, {"2", at(0, 200), at(0, 300)}}},
    };
    const TimedSegmentBuilder builder;
    for (const auto& [name, request, expected] : cases) {
        EXPECT_EQ(turnsOf(builder.createTimedSegments(request)), expected) << name;
    }
}

} // namespace
} // namespace quorl
