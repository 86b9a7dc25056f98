#include "QuorlAudio/diarization/chunked/Speaker.hpp"
#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"
#include "platform/core/UUID.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <limits>
#include <vector>

namespace quorl {
namespace {

using platform::core::UUID;
using Date = Speaker::Date;

const Date past = Date(std::chrono::seconds(1'000'000'000));

Date secondsAfterPast(int seconds) { return past + std::chrono::seconds(seconds); }

RawEmbedding entry(std::vector<float> embedding, Date timestamp = past) {
    return RawEmbedding(UUID::random(), embedding, timestamp);
}

// A speaker whose dates lie in the past, so that any change of updatedAt shows.
Speaker speakerOf(std::vector<float> embedding) {
    return Speaker({.id = "1", .currentEmbedding = std::move(embedding), .createdAt = past, .updatedAt = past});
}

// Everything a speaker holds, to tell that an operation changed nothing.
nlohmann::json state(const Speaker& speaker) { return speaker; }

void expectNear(const std::vector<float>& actual, const std::vector<float>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t index = 0; index < actual.size(); ++index) {
        EXPECT_FLOAT_EQ(actual[index], expected[index]) << "at " << index;
    }
}

TEST(SpeakerTests, AnUnnamedSpeakerTakesAFreshUpperCaseUUIDAsIdAndName) {
    const Speaker speaker({.currentEmbedding = {3, 4}, .duration = 2});
    EXPECT_EQ(speaker.id().size(), 36u);
    EXPECT_TRUE(UUID::fromString(speaker.id()).has_value());
    EXPECT_EQ(UUID::fromString(speaker.id())->uuidString(), speaker.id());
    EXPECT_EQ(speaker.name, speaker.id());
    EXPECT_EQ(speaker.createdAt, speaker.updatedAt);
    EXPECT_EQ(speaker.updateCount, 1);
    EXPECT_EQ(speaker.duration, 2);
    EXPECT_FALSE(speaker.isPermanent);
    expectNear(speaker.currentEmbedding, {0.6f, 0.8f});
    EXPECT_NE(Speaker().id(), Speaker().id());
}

TEST(SpeakerTests, AnAllZeroEmbeddingStaysZero) {
    EXPECT_EQ(speakerOf({0, 0, 0}).currentEmbedding, std::vector<float>(3, 0.0f));
}

TEST(SpeakerTests, EqualityAndHashLookAtTheIdAlone) {
    const Speaker first({.id = "5", .currentEmbedding = {1, 0}});
    const Speaker second({.id = "5", .name = "Other", .currentEmbedding = {0, 1}});
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::hash<Speaker>{}(first), std::hash<Speaker>{}(second));
    EXPECT_NE(first, Speaker({.id = "6", .currentEmbedding = {1, 0}}));
}

TEST(SpeakerTests, WeakEmbeddingsChangeNothingAtAll) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // 0.06² + 0.08² is exactly 0.01 in Float, which the gate refuses.
    for (const std::vector<float>& weak :
         {std::vector<float>{0.06f, 0.08f}, std::vector<float>{0.09f}, std::vector<float>{nan, 1.0f}}) {
        Speaker speaker = speakerOf({1, 0});
        speaker.addRawEmbedding(entry({1, 0}));
        speaker.updatedAt = past;
        const nlohmann::json before = state(speaker);
        speaker.updateMainEmbedding(3.0f, weak, UUID::random(), 0.9f);
        EXPECT_EQ(state(speaker), before) << ::testing::PrintToString(weak);
    }
    Speaker speaker = speakerOf({1, 0});
    const nlohmann::json before = state(speaker);
    speaker.addRawEmbedding(entry({0, 0}));
    EXPECT_EQ(state(speaker), before);
}

TEST(SpeakerTests, ATenthInFloatPassesTheGate) {
    Speaker speaker = speakerOf({1});
    speaker.updateMainEmbedding(1.0f, std::vector<float>{0.1f}, UUID::random(), 0.9f);
    EXPECT_EQ(speaker.rawEmbeddings.size(), 1u);
    EXPECT_EQ(speaker.updateCount, 2);
}

TEST(SpeakerTests, TheFiftyFirstEntryEvictsTheOldest) {
    Speaker speaker = speakerOf({1, 0});
    std::vector<UUID> segments;
    for (int index = 0; index < 51; ++index) {
        RawEmbedding raw = entry({1, static_cast<float>(index)});
        segments.push_back(raw.segmentId());
        speaker.addRawEmbedding(raw);
    }
    ASSERT_EQ(speaker.rawEmbeddings.size(), 50u);
    EXPECT_EQ(speaker.rawEmbeddings.front().segmentId(), segments[1]);
    EXPECT_EQ(speaker.rawEmbeddings.back().segmentId(), segments[50]);
    EXPECT_GT(speaker.updatedAt, past);
    EXPECT_EQ(speaker.updateCount, 1);
}

TEST(SpeakerTests, TheMeanLeavesOutEntriesOfAnotherLength) {
    Speaker speaker = speakerOf({0, 1, 0});
    speaker.addRawEmbedding(entry({1, 0, 0}));
    speaker.addRawEmbedding(entry({0, 1}));
    speaker.addRawEmbedding(entry({0, 0, 1}));
    expectNear(speaker.currentEmbedding, VDSPOperations::l2Normalize(std::vector<float>{0.5f, 0, 0.5f}));
}

TEST(SpeakerTests, AnUpdateBlendsTheHistoryMeanWithTheNewEmbedding) {
    Speaker speaker = speakerOf({1, 0});
    speaker.duration = 1;
    speaker.addRawEmbedding(entry({2, 0}));
    speaker.updateMainEmbedding(1.5f, std::vector<float>{0, 3}, UUID::random(), 0.9f);

    const std::vector<float> mean = VDSPOperations::l2Normalize(std::vector<float>{0.5f, 0.5f});
    const std::vector<float> expected =
        VDSPOperations::l2Normalize(std::vector<float>{0.9f * mean[0] + 0.1f * 0.0f, 0.9f * mean[1] + 0.1f * 1.0f});
    expectNear(speaker.currentEmbedding, expected);
    EXPECT_EQ(speaker.rawEmbeddings.size(), 2u);
    expectNear(speaker.rawEmbeddings.back().embedding(), {0, 1});
    EXPECT_EQ(speaker.duration, 2.5f);
    EXPECT_EQ(speaker.updateCount, 2);
    EXPECT_GT(speaker.updatedAt, past);
}

TEST(SpeakerTests, AnUpdateOfAnotherLengthSkipsTheBlendButStillCounts) {
    Speaker speaker = speakerOf({1, 0, 0});
    speaker.addRawEmbedding(entry({1, 0, 0}));
    speaker.updateMainEmbedding(2.0f, std::vector<float>{0, 1}, UUID::random(), 0.9f);
    expectNear(speaker.currentEmbedding, {1, 0, 0});
    EXPECT_EQ(speaker.rawEmbeddings.size(), 2u);
    EXPECT_EQ(speaker.duration, 2.0f);
    EXPECT_EQ(speaker.updateCount, 2);
}

TEST(SpeakerTests, RemovingAnUnknownSegmentChangesNothing) {
    Speaker speaker = speakerOf({1, 0});
    speaker.addRawEmbedding(entry({0, 1}));
    speaker.updatedAt = past;
    const nlohmann::json before = state(speaker);
    EXPECT_FALSE(speaker.removeRawEmbedding(UUID::random()).has_value());
    EXPECT_EQ(state(speaker), before);
}

TEST(SpeakerTests, RemovingASegmentRecomputesFromTheRest) {
    Speaker speaker = speakerOf({1, 0});
    const RawEmbedding first = entry({1, 0});
    const RawEmbedding second = entry({0, 1});
    speaker.addRawEmbedding(first);
    speaker.addRawEmbedding(second);
    const auto removed = speaker.removeRawEmbedding(first.segmentId());
    ASSERT_TRUE(removed.has_value());
    EXPECT_EQ(removed->segmentId(), first.segmentId());
    expectNear(speaker.currentEmbedding, {0, 1});

    speaker.updatedAt = past;
    EXPECT_TRUE(speaker.removeRawEmbedding(second.segmentId()).has_value());
    EXPECT_TRUE(speaker.rawEmbeddings.empty());
    expectNear(speaker.currentEmbedding, {0, 1});
    EXPECT_EQ(speaker.updatedAt, past);
}

TEST(SpeakerTests, MergingBeyondCapacityKeepsTheNewestFirst) {
    Speaker speaker = speakerOf({1, 0});
    Speaker other = speakerOf({0, 1});
    // This speaker's entries at even seconds, the other's at odd seconds: 0 … 59 between them.
    for (int index = 0; index < 30; ++index) {
        speaker.addRawEmbedding(entry({1, 0}, secondsAfterPast(2 * index)));
        other.addRawEmbedding(entry({0, 1}, secondsAfterPast(2 * index + 1)));
    }
    speaker.mergeWith(other, "Merged");
    ASSERT_EQ(speaker.rawEmbeddings.size(), 50u);
    for (int index = 0; index < 50; ++index) {
        EXPECT_EQ(speaker.rawEmbeddings[index].timestamp(), secondsAfterPast(59 - index)) << index;
    }
    EXPECT_EQ(speaker.name, "Merged");

    // The front entry is now the newest, and the next append evicts it.
    speaker.addRawEmbedding(entry({1, 1}, secondsAfterPast(100)));
    EXPECT_EQ(speaker.rawEmbeddings.front().timestamp(), secondsAfterPast(58));
    EXPECT_EQ(speaker.rawEmbeddings.back().timestamp(), secondsAfterPast(100));
}

TEST(SpeakerTests, MergingWithinCapacityAppendsTheOtherHistory) {
    Speaker speaker = speakerOf({1, 0});
    speaker.duration = 2;
    Speaker other({.id = "2", .currentEmbedding = {0, 1}, .duration = 3, .isPermanent = true});
    for (int index = 0; index < 10; ++index) {
        speaker.addRawEmbedding(entry({1, 0}, secondsAfterPast(100 + index)));
    }
    for (int index = 0; index < 20; ++index) {
        other.addRawEmbedding(entry({0, 1}, secondsAfterPast(index)));
    }
    speaker.updatedAt = past;
    speaker.mergeWith(other);
    ASSERT_EQ(speaker.rawEmbeddings.size(), 30u);
    EXPECT_EQ(speaker.rawEmbeddings[0].timestamp(), secondsAfterPast(100));
    EXPECT_EQ(speaker.rawEmbeddings[9].timestamp(), secondsAfterPast(109));
    EXPECT_EQ(speaker.rawEmbeddings[10].timestamp(), secondsAfterPast(0));
    expectNear(speaker.currentEmbedding, VDSPOperations::l2Normalize(std::vector<float>{10.0f / 30, 20.0f / 30}));
    EXPECT_EQ(speaker.duration, 5);
    EXPECT_EQ(speaker.updateCount, 2);
    EXPECT_EQ(speaker.name, "1");
    EXPECT_EQ(speaker.id(), "1");
    EXPECT_FALSE(speaker.isPermanent);
    EXPECT_EQ(speaker.createdAt, past);
    EXPECT_GT(speaker.updatedAt, past);
}

TEST(SpeakerTests, ARawEmbeddingIsNormalisedWhenMade) {
    const UUID segment = UUID::random();
    const RawEmbedding raw(segment, std::vector<float>{0, 5}, past);
    expectNear(raw.embedding(), {0, 1});
    EXPECT_EQ(raw.segmentId(), segment);
    EXPECT_EQ(raw.timestamp(), past);
}

} // namespace
} // namespace quorl
