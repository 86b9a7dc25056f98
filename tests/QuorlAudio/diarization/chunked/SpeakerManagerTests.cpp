#include "QuorlAudio/diarization/chunked/SpeakerManager.hpp"
#include "QuorlAudio/diarization/chunked/SpeakerUtilities.hpp"
#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::core::UUID;

constexpr float infinity = std::numeric_limits<float>::infinity();
const Speaker::Date past{std::chrono::seconds(1'000'000'000)};

std::vector<float> basis(std::size_t index, std::size_t size = SpeakerManager::embeddingSize) {
    std::vector<float> vector(size, 0.0f);
    vector[index] = 1.0f;
    return vector;
}

// A unit vector at the given angle from the first axis, towards the second.
std::vector<float> atAngle(float radians) {
    std::vector<float> vector(SpeakerManager::embeddingSize, 0.0f);
    vector[0] = std::cos(radians);
    vector[1] = std::sin(radians);
    return VDSPOperations::l2Normalize(vector);
}

float distanceFromFirstAxis(const std::vector<float>& embedding) {
    return SpeakerUtilities::cosineDistance(embedding, basis(0));
}

Speaker known(const std::string& id, bool isPermanent = false, std::size_t size = SpeakerManager::embeddingSize) {
    return Speaker({.id = id,
                    .currentEmbedding = basis(0, size),
                    .createdAt = past,
                    .updatedAt = past,
                    .isPermanent = isPermanent});
}

std::vector<std::string> managerMessages(const testsupport::RecordingLogSink& sink) {
    return sink.messages("SpeakerManager");
}

TEST(SpeakerManagerTests, TheFirstAssignmentCreatesSpeakerOne) {
    SpeakerManager manager({.minSpeechDuration = 1.0f});
    testsupport::RecordingLogSink sink;
    const std::optional<Speaker> speaker = manager.assignSpeaker(basis(5), 1.0f);
    ASSERT_TRUE(speaker);
    EXPECT_EQ(speaker->id(), "1");
    EXPECT_EQ(speaker->name, "Speaker 1");
    EXPECT_EQ(speaker->rawEmbeddings.size(), 1u);
    EXPECT_EQ(speaker->updateCount, 1);
    EXPECT_EQ(manager.nextSpeakerId(), 2);
    EXPECT_EQ(manager.highestSpeakerId(), 1);
    EXPECT_EQ(managerMessages(sink), (std::vector<std::string>{"Created new speaker 1 (distance to closest: inf)"}));
}

TEST(SpeakerManagerTests, RefusesEmbeddingsOfAnotherSizeAndSpeechTooShort) {
    SpeakerManager manager({.minSpeechDuration = 1.0f});
    testsupport::RecordingLogSink sink;
    EXPECT_FALSE(manager.assignSpeaker(basis(0, 255), 5));
    EXPECT_FALSE(manager.assignSpeaker(basis(0, 257), 5));
    EXPECT_FALSE(manager.assignSpeaker(basis(0), 0.5f));
    EXPECT_EQ(managerMessages(sink), (std::vector<std::string>{
                                         "Invalid embedding size: 255",
                                         "Invalid embedding size: 257",
                                         "Audio segment too short (0.5s) to create new speaker",
                                     }));
    EXPECT_EQ(manager.speakerCount(), 0u);
    EXPECT_EQ(manager.nextSpeakerId(), 1);
}

TEST(SpeakerManagerTests, ADistanceEqualToTheThresholdDoesNotJoinButIsFoundByTheLookups) {
    SpeakerManager manager({.minSpeechDuration = 1.0f});
    manager.assignSpeaker(basis(0), 2);
    const std::vector<float> query = atAngle(0.5f);
    manager.speakerThreshold = distanceFromFirstAxis(query);

    EXPECT_FALSE(manager.assignSpeaker(query, 0.5f));
    EXPECT_EQ(manager.speakerCount(), 1u);
    EXPECT_EQ(manager.findSpeaker(query).id, "1");
    const std::vector<SpeakerManager::RankedSpeaker> matches = manager.findMatchingSpeakers(query);
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches.front().id, "1");

    const SpeakerManager::Match tighter = manager.findSpeaker(query, manager.speakerThreshold * 0.5f);
    EXPECT_FALSE(tighter.id);
    EXPECT_EQ(tighter.distance, infinity);
    EXPECT_TRUE(manager.assignSpeaker(query, 0.5f, manager.speakerThreshold * 1.1f));
}

TEST(SpeakerManagerTests, OnlyAVeryCloseMatchRefinesTheSpeaker) {
    const std::vector<float> query = atAngle(0.3f);
    struct Case {
        const char* name;
        float embeddingThreshold;
        std::int64_t updateCount;
        std::size_t rawEmbeddings;
    };
    const std::vector<Case> cases = {
        {"equal to the embedding threshold", distanceFromFirstAxis(query), 1, 1},
        {"below the embedding threshold", distanceFromFirstAxis(query) * 1.01f, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SpeakerManager manager({.speakerThreshold = 0.5f, .embeddingThreshold = c.embeddingThreshold});
        manager.assignSpeaker(basis(0), 2);
        const std::optional<Speaker> joined = manager.assignSpeaker(query, 0.25f);
        ASSERT_TRUE(joined);
        EXPECT_EQ(joined->id(), "1");
        EXPECT_EQ(joined->duration, 2.25f);
        EXPECT_EQ(joined->updateCount, c.updateCount);
        EXPECT_EQ(joined->rawEmbeddings.size(), c.rawEmbeddings);
        EXPECT_EQ(manager.speakerCount(), 1u);
    }
}

TEST(SpeakerManagerTests, EqualDistancesPickTheFirstIdAndAnAllZeroEmbeddingStartsAnEmptyHistory) {
    SpeakerManager manager;
    manager.upsertSpeaker(SpeakerUpsert{.id = "b", .currentEmbedding = atAngle(0.4f)});
    manager.upsertSpeaker(SpeakerUpsert{.id = "a", .currentEmbedding = atAngle(-0.4f)});
    EXPECT_EQ(manager.findSpeaker(basis(0)).id, "a");

    const std::optional<Speaker> silent = manager.assignSpeaker(std::vector<float>(256, 0.0f), 5);
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->id(), "1");
    EXPECT_TRUE(silent->rawEmbeddings.empty());
}

TEST(SpeakerManagerTests, KnownSpeakerIdsMoveTheCounters) {
    SpeakerManager manager;
    manager.initializeKnownSpeakers({known("guest"), known("3")}, SpeakerInitializationMode::skip,
                                    PermanentSpeakers::protect);
    EXPECT_EQ(manager.highestSpeakerId(), 3);
    EXPECT_EQ(manager.nextSpeakerId(), 4);
    EXPECT_EQ(manager.assignSpeaker(basis(9), 5)->id(), "4");

    manager.upsertSpeaker(known("7", true));
    manager.upsertSpeaker(known("x", true));
    manager.upsertSpeaker(known("9"));
    manager.reset(PermanentSpeakers::protect);
    EXPECT_EQ(manager.speakerIds(), (std::vector<std::string>{"7", "x"}));
    EXPECT_EQ(manager.nextSpeakerId(), 8);

    manager.reset(PermanentSpeakers::treatAlike);
    EXPECT_EQ(manager.speakerCount(), 0u);
    EXPECT_EQ(manager.nextSpeakerId(), 1);
    EXPECT_EQ(manager.highestSpeakerId(), 0);
}

TEST(SpeakerManagerTests, UpsertInsertsOrWritesOver) {
    SpeakerManager manager;
    manager.initializeKnownSpeakers({known("3")}, SpeakerInitializationMode::skip, PermanentSpeakers::protect);
    testsupport::RecordingLogSink sink;
    manager.upsertSpeaker(SpeakerUpsert{.id = "visitor", .currentEmbedding = {0, 2}});
    EXPECT_EQ(manager.nextSpeakerId(), 4);
    manager.upsertSpeaker(SpeakerUpsert{.id = "12", .currentEmbedding = {0, 2}, .isPermanent = true});
    EXPECT_EQ(manager.nextSpeakerId(), 13);
    EXPECT_EQ(manager.getSpeaker("12")->currentEmbedding, (std::vector<float>{0, 1}));
    EXPECT_EQ(manager.getSpeaker("visitor")->name, "visitor");

    manager.upsertSpeaker(SpeakerUpsert{.id = "12", .currentEmbedding = {0, 2}, .duration = 7, .updateCount = 4});
    const Speaker updated = *manager.getSpeaker("12");
    EXPECT_TRUE(updated.isPermanent);
    EXPECT_EQ(updated.currentEmbedding, (std::vector<float>{0, 2}));
    EXPECT_EQ(updated.duration, 7);
    EXPECT_EQ(updated.updateCount, 4);
    EXPECT_EQ(updated.name, "12");
    EXPECT_EQ(manager.nextSpeakerId(), 13);
    EXPECT_EQ(managerMessages(sink),
              (std::vector<std::string>{"Inserted new speaker: visitor", "Inserted new speaker: 12",
                                        "Updated existing speaker: 12"}));
}

TEST(SpeakerManagerTests, TheLargestNumericIdIsStoredButNotCounted) {
    const std::string largest = std::to_string(std::numeric_limits<std::int64_t>::max());
    const std::string warning =
        "Speaker " + largest + " has the largest possible numeric id; it is left out of the id counters";
    SpeakerManager manager;
    testsupport::RecordingLogSink sink;
    manager.upsertSpeaker(known("5"));
    manager.upsertSpeaker(known(largest));
    EXPECT_TRUE(manager.hasSpeaker(largest));
    EXPECT_EQ(manager.nextSpeakerId(), 6);
    manager.initializeKnownSpeakers({}, SpeakerInitializationMode::skip, PermanentSpeakers::protect);
    EXPECT_EQ(manager.nextSpeakerId(), 6);
    EXPECT_EQ(manager.assignSpeaker(basis(9), 5)->id(), "6");
    const std::vector<std::string> messages = managerMessages(sink);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), warning), 2);
}

TEST(SpeakerManagerTests, InitializeKnownSpeakersInEveryMode) {
    using Mode = SpeakerInitializationMode;
    const std::string ready = "Initialized known speaker: 5 with 0 raw embeddings";
    const std::string skipped = "Skipping speaker bad - invalid embedding size: 255";
    const std::string summary = "Initialized with 2 known speakers, next ID will be: 6";
    const std::string taken = "Initialized known speaker: 2 with 3 raw embeddings";
    struct Case {
        Mode mode;
        PermanentSpeakers permanent;
        bool storedIsPermanent;
        std::vector<std::string> messages;
        std::string nameOfTwo;
    };
    const std::vector<Case> cases = {
        {Mode::skip,
         PermanentSpeakers::protect,
         false,
         {"Speaker 2 is already initialized. Skipping new speaker.", skipped, ready, summary},
         "stored"},
        {Mode::merge,
         PermanentSpeakers::protect,
         false,
         {"Speaker 2 is already initialized. Merging with old speaker.", taken, skipped, ready, summary},
         "given"},
        {Mode::merge,
         PermanentSpeakers::protect,
         true,
         {"Failed to merge Speaker 2 into Speaker 2 because the existing speaker is permanent. Skipping", skipped,
          ready, summary},
         "stored"},
        {Mode::merge,
         PermanentSpeakers::treatAlike,
         true,
         {"Speaker 2 is already initialized. Merging with old speaker.", taken, skipped, ready, summary},
         "given"},
        {Mode::overwrite,
         PermanentSpeakers::protect,
         false,
         {"Speaker 2 is already initialized. Overwriting old speaker.", taken, skipped, ready, summary},
         "given"},
        {Mode::overwrite,
         PermanentSpeakers::protect,
         true,
         {"Failed to overwrite Speaker 2 because it is permanent. Skipping", skipped, ready, summary},
         "stored"},
        {Mode::reset,
         PermanentSpeakers::treatAlike,
         true,
         {"Speaker database reset", taken, skipped, ready, summary},
         "given"},
        {Mode::reset,
         PermanentSpeakers::protect,
         true,
         {"Speaker database reset", "Failed to overwrite Speaker 2 because it is permanent. Skipping", skipped, ready,
          summary},
         "stored"},
    };
    Speaker given = known("2");
    given.name = "given";
    for (int index = 0; index < 3; ++index) {
        given.rawEmbeddings.emplace_back(UUID::random(), basis(1), past);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.messages.front() + (c.storedIsPermanent ? " (permanent)" : ""));
        SpeakerManager manager;
        Speaker stored = known("2", c.storedIsPermanent);
        stored.name = "stored";
        manager.upsertSpeaker(stored);
        testsupport::RecordingLogSink sink;
        manager.initializeKnownSpeakers({given, known("bad", false, 255), known("5")}, c.mode, c.permanent);
        EXPECT_EQ(managerMessages(sink), c.messages);
        EXPECT_EQ(manager.getSpeaker("2")->name, c.nameOfTwo);
        EXPECT_FALSE(manager.hasSpeaker("bad"));
    }
}

} // namespace
} // namespace quorl
