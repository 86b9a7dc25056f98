#include "QuorlAudio/diarization/chunked/SpeakerUtilities.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::core::UUID;
using SpeakerUtilities::History;

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
const SpeakerUtilities::Date past{std::chrono::seconds(1'000'000'000)};

std::vector<float> basis(std::size_t index, std::size_t size = 256) {
    std::vector<float> vector(size, 0.0f);
    vector[index] = 1.0f;
    return vector;
}

// Entries along the first axis, one second apart from `start` on.
History historyOf(std::size_t count, int start = 0) {
    History history;
    for (std::size_t index = 0; index < count; ++index) {
        history.emplace_back(UUID::random(), basis(0, 2), past + std::chrono::seconds(start + int(index)));
    }
    return history;
}

std::vector<std::string> utilityMessages(const testsupport::RecordingLogSink& sink) {
    return sink.messages("SpeakerUtilities");
}

TEST(SpeakerUtilitiesTests, CosineDistanceOfUsableAndUnusableVectors) {
    std::vector<float> negated = basis(3);
    negated[3] = -1;
    struct Case {
        const char* name;
        std::vector<float> a;
        std::vector<float> b;
        float distance;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {"itself", basis(3), basis(3), 0, {}},
        {"negation", basis(3), negated, 2, {}},
        {"orthogonal", basis(3), basis(4), 1, {}},
        {"non-unit lengths", {3, 4}, {6, 8}, 0, {}},
        {"different lengths", basis(0), basis(0, 255), infinity, {"Invalid embeddings: a.count=256, b.count=255"}},
        {"empty", {}, {}, infinity, {"Invalid embeddings: a.count=0, b.count=0"}},
        {"all zeros", std::vector<float>(256, 0.0f), basis(0), infinity, {"Zero magnitude embedding detected"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::RecordingLogSink sink;
        const float distance = SpeakerUtilities::cosineDistance(c.a, c.b);
        if (std::isinf(c.distance)) {
            EXPECT_EQ(distance, c.distance);
        } else {
            EXPECT_NEAR(distance, c.distance, 1e-6f);
        }
        EXPECT_EQ(utilityMessages(sink), c.messages);
    }
}

TEST(SpeakerUtilitiesTests, ValidateEmbeddingChecksEmptinessMagnitudeAndFiniteness) {
    struct Case {
        std::vector<float> embedding;
        float minMagnitude;
        bool valid;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {{3, 4}, 0.1f, true, {}},
        {{}, 0.1f, false, {"Empty embedding"}},
        {{0.5f}, 0.5f, false, {"Low magnitude embedding: 0.5"}},
        {{1, infinity}, 0.1f, false, {"Embedding contains NaN or Inf"}},
        {{1, nan}, 0.1f, false, {"Low magnitude embedding: nan"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.messages.empty() ? "valid" : c.messages.front());
        testsupport::RecordingLogSink sink;
        EXPECT_EQ(SpeakerUtilities::validateEmbedding(c.embedding, c.minMagnitude), c.valid);
        EXPECT_EQ(utilityMessages(sink), c.messages);
    }
}

TEST(SpeakerUtilitiesTests, AssignmentDecisionsOfTheDesktopPreset) {
    struct Case {
        float distance;
        float duration;
        bool assign;
        bool update;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {0.1f, 0.5f, true, false, "Very high confidence match"},
        {0.1f, nan, true, true, "Very high confidence match"},
        {0.4f, 5, true, true, "Sufficient confidence and duration"},
        {0.5f, 5, true, false, "Sufficient confidence and duration"},
        {0.6f, 0.5f, false, false, "Duration too short"},
        {0.65f, 5, false, false, "Distance too far"},
        {nan, 5, false, false, "Distance too far"},
    };
    EXPECT_EQ(AssignmentConfig::current().maxDistanceForAssignment, AssignmentConfig::macOS().maxDistanceForAssignment);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.distance) + " " + std::to_string(c.duration));
        const AssignmentDecision decision =
            SpeakerUtilities::shouldAssignSpeaker(c.distance, c.duration, AssignmentConfig::macOS());
        EXPECT_EQ(decision.shouldAssign, c.assign);
        EXPECT_EQ(decision.shouldUpdate, c.update);
        EXPECT_EQ(decision.reason, c.reason);
        if (!std::isnan(c.distance)) {
            EXPECT_EQ(decision.confidence, 1 - c.distance);
        }
    }
}

TEST(SpeakerUtilitiesTests, ClosestSpeakerKeepsTheFirstOfEqualDistances) {
    const std::vector<Speaker> candidates = {
        Speaker({.id = "far", .currentEmbedding = basis(2)}),
        Speaker({.id = "first", .currentEmbedding = {1, 1, 0}}),
        Speaker({.id = "second", .currentEmbedding = {1, 0, 1}}),
    };
    const SpeakerUtilities::ClosestSpeaker closest =
        SpeakerUtilities::findClosestSpeaker(std::vector<float>{1, 0, 0}, candidates);
    ASSERT_TRUE(closest.speaker);
    EXPECT_EQ(closest.speaker->id(), "first");

    const SpeakerUtilities::ClosestSpeaker none = SpeakerUtilities::findClosestSpeaker(basis(0), {});
    EXPECT_FALSE(none.speaker);
    EXPECT_EQ(none.distance, infinity);
}

TEST(SpeakerUtilitiesTests, SpeakerCreationNeedsTheMinimumDurationAndAGoodEmbedding) {
    const auto request = [](float duration, std::vector<float> embedding) {
        return SpeakerUtilities::SpeakerCreationRequest{.id = "7",
                                                        .name = std::nullopt,
                                                        .duration = duration,
                                                        .embedding = std::move(embedding),
                                                        .config = AssignmentConfig::macOS()};
    };
    const SpeakerCreationResult created = SpeakerUtilities::validateSpeakerCreation(request(4.0f, {3, 4}));
    ASSERT_TRUE(std::holds_alternative<SpeakerCreationParams>(created));
    const auto& params = std::get<SpeakerCreationParams>(created);
    EXPECT_EQ(params.name, "Speaker 7");
    EXPECT_EQ(params.embedding, (std::vector<float>{0.6f, 0.8f}));

    const SpeakerCreationResult tooShort = SpeakerUtilities::validateSpeakerCreation(request(3.9f, {3, 4}));
    ASSERT_TRUE(std::holds_alternative<SpeakerCreationFailure>(tooShort));
    EXPECT_EQ(std::get<SpeakerCreationFailure>(tooShort).reason, "Duration 3.9 < minimum 4.0");

    testsupport::RecordingLogSink sink;
    EXPECT_FALSE(SpeakerUtilities::createSpeaker(request(5, {0.01f})));
    EXPECT_EQ(utilityMessages(sink),
              (std::vector<std::string>{"Low magnitude embedding: 0.01",
                                        "Failed to create speaker: Invalid embedding: failed quality checks"}));
    const std::optional<Speaker> speaker = SpeakerUtilities::createSpeaker(request(5, {0, 2}));
    ASSERT_TRUE(speaker);
    EXPECT_EQ(speaker->id(), "7");
    EXPECT_EQ(speaker->currentEmbedding, (std::vector<float>{0, 1}));
    EXPECT_EQ(speaker->updateCount, 1);
    EXPECT_TRUE(speaker->rawEmbeddings.empty());
}

TEST(SpeakerUtilitiesTests, UpdateEmbeddingWeighsTheCurrentVectorByAlpha) {
    const std::vector<float> current = {3, 4};
    const std::vector<float> incoming = {0, 5};
    EXPECT_EQ(SpeakerUtilities::updateEmbedding(current, incoming, 1), (std::vector<float>{0.6f, 0.8f}));
    EXPECT_EQ(SpeakerUtilities::updateEmbedding(current, incoming, 0), (std::vector<float>{0, 1}));

    testsupport::RecordingLogSink sink;
    EXPECT_FALSE(SpeakerUtilities::updateEmbedding({}, incoming, 0.5f));
    EXPECT_FALSE(SpeakerUtilities::updateEmbedding(current, std::vector<float>{1, 0, 0}, 0.5f));
    EXPECT_EQ(utilityMessages(sink),
              (std::vector<std::string>{"Invalid embeddings for update", "Invalid embeddings for update"}));
}

TEST(SpeakerUtilitiesTests, AddRawEmbeddingEvictsOneEntryAtCapacity) {
    struct Case {
        std::size_t historySize;
        int capacity;
        std::size_t resultSize;
        bool shouldRecalculate;
    };
    const std::vector<Case> cases = {
        {50, 50, 50, true},
        {60, 50, 60, true},
        {0, 50, 1, false},
        {1, 50, 2, false},
        {2, 50, 3, true},
        // A capacity below 1 has nothing to evict from an empty history.
        {0, 0, 1, false},
        {0, -3, 1, false},
        {2, 0, 2, false},
    };
    const UUID segment = UUID::random();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.historySize) + " at capacity " + std::to_string(c.capacity));
        const History history = historyOf(c.historySize);
        const auto added =
            SpeakerUtilities::addRawEmbedding(history, segment, std::vector<float>{0, 3}, past, c.capacity);
        ASSERT_TRUE(added);
        ASSERT_EQ(added->updated.size(), c.resultSize);
        EXPECT_EQ(added->updated.back().segmentId(), segment);
        EXPECT_EQ(added->updated.back().embedding(), (std::vector<float>{0, 1}));
        EXPECT_EQ(added->shouldRecalculate, c.shouldRecalculate);
    }

    testsupport::RecordingLogSink sink;
    EXPECT_FALSE(SpeakerUtilities::addRawEmbedding({}, segment, std::vector<float>{0.05f}, past, 50));
    EXPECT_EQ(utilityMessages(sink).back(), "Invalid embedding for segment " + segment.uuidString());
}

TEST(SpeakerUtilitiesTests, RemoveRawEmbeddingTakesTheFirstMatch) {
    const History history = historyOf(1);
    const SpeakerUtilities::HistoryRemoval removed =
        SpeakerUtilities::removeRawEmbedding(history, history.front().segmentId());
    EXPECT_TRUE(removed.updated.empty());
    ASSERT_TRUE(removed.removed);
    EXPECT_EQ(removed.removed->segmentId(), history.front().segmentId());
    EXPECT_FALSE(removed.shouldRecalculate);

    const SpeakerUtilities::HistoryRemoval missing = SpeakerUtilities::removeRawEmbedding(history, UUID::random());
    EXPECT_EQ(missing.updated.size(), 1u);
    EXPECT_FALSE(missing.removed);
}

TEST(SpeakerUtilitiesTests, UpdateSpeakerWithSegmentAtTheMinimumDuration) {
    const SpeakerUtilities::SegmentUpdateRequest request{.currentMainEmbedding = {1, 0},
                                                         .currentRawEmbeddings = historyOf(2),
                                                         .currentDuration = 3.5f,
                                                         .segmentDuration = 1.0f,
                                                         .segmentEmbedding = {0, 2},
                                                         .segmentId = UUID::random(),
                                                         .alpha = 0.5f,
                                                         .minSegmentDuration = 1.0f};
    const std::optional<SpeakerUpdateResult> result = SpeakerUtilities::updateSpeakerWithSegment(request);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->updatedDuration, 4.5f);
    EXPECT_EQ(result->updatedRawEmbeddings.size(), 3u);
    EXPECT_TRUE(result->shouldRecalculate);
    ASSERT_TRUE(result->updatedMainEmbedding);
    EXPECT_NEAR((*result->updatedMainEmbedding)[0], std::sqrt(0.5f), 1e-6f);

    SpeakerUtilities::SegmentUpdateRequest shorter = request;
    shorter.segmentDuration = 0.99f;
    EXPECT_FALSE(SpeakerUtilities::updateSpeakerWithSegment(shorter));
}

TEST(SpeakerUtilitiesTests, MergeSpeakersKeepsTheNewestBeyondCapacity) {
    const History older = historyOf(40, 0);
    const History newer = historyOf(20, 100);
    const SpeakerUtilities::MergedHistories merged = SpeakerUtilities::mergeSpeakers(older, 2, newer, 3, 50);
    ASSERT_EQ(merged.mergedRaw.size(), 50u);
    EXPECT_EQ(merged.mergedRaw.front().segmentId(), newer.back().segmentId());
    EXPECT_EQ(merged.mergedRaw[19].segmentId(), newer.front().segmentId());
    EXPECT_EQ(merged.mergedRaw.back().segmentId(), older[10].segmentId());
    EXPECT_EQ(merged.mergedDuration, 5);
    EXPECT_EQ(merged.newMainEmbedding, (std::vector<float>{1, 0}));

    const SpeakerUtilities::MergedHistories small = SpeakerUtilities::mergeSpeakers(newer, 1, older, 1, 100);
    ASSERT_EQ(small.mergedRaw.size(), 60u);
    EXPECT_EQ(small.mergedRaw.front().segmentId(), newer.front().segmentId());

    const SpeakerUtilities::MergedHistories empty = SpeakerUtilities::mergeSpeakers({}, 0, {}, 0, 50);
    EXPECT_TRUE(empty.mergedRaw.empty());
    EXPECT_FALSE(empty.newMainEmbedding);

    const SpeakerUtilities::MergedHistories negative = SpeakerUtilities::mergeSpeakers(older, 1, newer, 1, -2);
    EXPECT_TRUE(negative.mergedRaw.empty());
    EXPECT_FALSE(negative.newMainEmbedding);
}

TEST(SpeakerUtilitiesTests, AverageEmbeddingsIgnoresVectorsOfAnotherLength) {
    EXPECT_EQ(SpeakerUtilities::averageEmbeddings({{3, 4}, {0, 0, 1}}), (std::vector<float>{0.6f, 0.8f}));
    EXPECT_FALSE(SpeakerUtilities::averageEmbeddings({}));
    EXPECT_FALSE(SpeakerUtilities::averageEmbeddings({{}, {1}}));
}

} // namespace
} // namespace quorl
