#include "QuorlAudio/diarization/chunked/SpeakerManager.hpp"
#include "QuorlAudio/diarization/chunked/SpeakerUtilities.hpp"
#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::core::UUID;
using Pair = SpeakerManager::MergeablePair;

const Speaker::Date past{std::chrono::seconds(1'000'000'000)};

// A unit vector at the given angle from the first axis, towards the second.
std::vector<float> atAngle(float radians) {
    std::vector<float> vector(SpeakerManager::embeddingSize, 0.0f);
    vector[0] = std::cos(radians);
    vector[1] = std::sin(radians);
    return VDSPOperations::l2Normalize(vector);
}

struct Entry {
    std::string id;
    float angle = 0;
    bool isPermanent = false;
    std::int64_t updateCount = 1;
    std::size_t history = 0;
};

// A manager holding speakers last updated in the past, each with its own segments.
SpeakerManager managerOf(const std::vector<Entry>& entries) {
    SpeakerManager manager;
    for (const Entry& entry : entries) {
        std::vector<RawEmbedding> history;
        for (std::size_t index = 0; index < entry.history; ++index) {
            history.emplace_back(UUID::random(), atAngle(entry.angle), past);
        }
        manager.upsertSpeaker(SpeakerUpsert{.id = entry.id,
                                            .currentEmbedding = atAngle(entry.angle),
                                            .duration = 1.5f,
                                            .rawEmbeddings = std::move(history),
                                            .updateCount = entry.updateCount,
                                            .createdAt = past,
                                            .updatedAt = past,
                                            .isPermanent = entry.isPermanent});
    }
    return manager;
}

std::vector<std::string> managerMessages(const testsupport::RecordingLogSink& sink) {
    return sink.messages("SpeakerManager");
}

nlohmann::json state(const SpeakerManager& manager) { return manager.getSpeakerList(); }

TEST(SpeakerManagerMaintenanceTests, PermanenceFlagsNeedAStoredSpeaker) {
    SpeakerManager manager = managerOf({{.id = "1"}});
    testsupport::RecordingLogSink sink;
    manager.makeSpeakerPermanent("9");
    manager.revokePermanence("9");
    manager.makeSpeakerPermanent("1");
    EXPECT_EQ(manager.permanentSpeakerIds(), (std::vector<std::string>{"1"}));
    manager.revokePermanence("1");
    EXPECT_TRUE(manager.permanentSpeakerIds().empty());
    manager.makeSpeakerPermanent("1");
    manager.resetPermanentFlags();
    EXPECT_TRUE(manager.permanentSpeakerIds().empty());
    EXPECT_EQ(managerMessages(sink), (std::vector<std::string>{
                                         "Failed to mark speaker 9 as permanent (speaker not found).",
                                         "Failed to revoke permanence from speaker 9 (speaker not found).",
                                         "Marking speaker 1 as permanent.",
                                         "Revoking permanence from speaker 1.",
                                         "Marking speaker 1 as permanent.",
                                     }));
}

TEST(SpeakerManagerMaintenanceTests, MergeSpeakerFoldsTheSourceIntoTheDestination) {
    struct Case {
        const char* name;
        std::string source;
        std::string destination;
        std::optional<std::string> mergedName;
        PermanentSpeakers permanent;
        bool merged;
        std::string nameAfter;
    };
    const std::vector<Case> cases = {
        {"equal ids", "a", "a", std::nullopt, PermanentSpeakers::protect, false, "a"},
        {"absent source", "z", "a", std::nullopt, PermanentSpeakers::protect, false, "a"},
        {"absent destination", "a", "z", std::nullopt, PermanentSpeakers::protect, false, "a"},
        {"protected permanent source", "p", "a", std::nullopt, PermanentSpeakers::protect, false, "a"},
        {"permanent source treated alike", "p", "a", std::nullopt, PermanentSpeakers::treatAlike, true, "a"},
        {"into a permanent destination", "a", "p", "Ada", PermanentSpeakers::protect, true, "Ada"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SpeakerManager manager = managerOf({{.id = "a", .history = 2}, {.id = "p", .isPermanent = true, .history = 3}});
        const nlohmann::json before = state(manager);
        testsupport::RecordingLogSink sink;
        manager.mergeSpeaker(c.source, c.destination, c.mergedName, c.permanent);
        EXPECT_TRUE(managerMessages(sink).empty());
        if (!c.merged) {
            EXPECT_EQ(state(manager), before);
            continue;
        }
        EXPECT_FALSE(manager.hasSpeaker(c.source));
        const Speaker destination = *manager.getSpeaker(c.destination);
        EXPECT_EQ(destination.rawEmbeddings.size(), 5u);
        EXPECT_EQ(destination.duration, 3.0f);
        EXPECT_EQ(destination.updateCount, 2);
        EXPECT_EQ(destination.name, c.destination == "p" ? c.nameAfter : c.destination);
        EXPECT_EQ(destination.isPermanent, c.destination == "p");
    }
}

TEST(SpeakerManagerMaintenanceTests, MergeablePairsNameTheEarlierIdOrThePermanentSpeakerAsDestination) {
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        PermanentSpeakers permanent;
        std::vector<Pair> pairs;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {"all close",
         {{.id = "p"}, {.id = "q", .angle = 0.1f}, {.id = "r", .angle = 0.2f}},
         PermanentSpeakers::protect,
         {{"q", "p"}, {"r", "p"}, {"r", "q"}},
         {}},
        {"one permanent",
         {{.id = "p"}, {.id = "q", .angle = 0.1f, .isPermanent = true}},
         PermanentSpeakers::protect,
         {{"p", "q"}},
         {}},
        {"both permanent, protected",
         {{.id = "p", .isPermanent = true}, {.id = "q", .angle = 0.1f, .isPermanent = true}},
         PermanentSpeakers::protect,
         {},
         {"findMergeablePairs: Skipping p and q as both are permanent"}},
        {"both permanent, treated alike",
         {{.id = "p", .isPermanent = true}, {.id = "q", .angle = 0.1f, .isPermanent = true}},
         PermanentSpeakers::treatAlike,
         {{"p", "q"}},
         {}},
        {"too far", {{.id = "p"}, {.id = "q", .angle = 1.5f}}, PermanentSpeakers::protect, {}, {}},
        {"empty", {}, PermanentSpeakers::protect, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SpeakerManager manager = managerOf(c.entries);
        testsupport::RecordingLogSink sink;
        EXPECT_EQ(manager.findMergeablePairs(0.3f, c.permanent), c.pairs);
        EXPECT_EQ(managerMessages(sink), c.messages);
    }
}

TEST(SpeakerManagerMaintenanceTests, AMergeDistanceEqualToTheThresholdProposesNoPair) {
    SpeakerManager manager = managerOf({{.id = "p"}, {.id = "q", .angle = 0.4f}});
    manager.speakerThreshold = SpeakerUtilities::cosineDistance(atAngle(0), atAngle(0.4f));
    EXPECT_TRUE(manager.findMergeablePairs(std::nullopt, PermanentSpeakers::protect).empty());
    EXPECT_EQ(manager.findMergeablePairs(manager.speakerThreshold * 1.01f, PermanentSpeakers::protect).size(), 1u);
}

TEST(SpeakerManagerMaintenanceTests, RemoveSpeakerHonoursPermanenceWhenAsked) {
    SpeakerManager manager = managerOf({{.id = "a"}, {.id = "p", .isPermanent = true}});
    testsupport::RecordingLogSink sink;
    manager.removeSpeaker("p", PermanentSpeakers::protect);
    manager.removeSpeaker("z", PermanentSpeakers::protect);
    manager.removeSpeaker("p", PermanentSpeakers::treatAlike);
    manager.removeSpeaker("a", PermanentSpeakers::protect);
    EXPECT_EQ(manager.speakerCount(), 0u);
    EXPECT_EQ(managerMessages(sink), (std::vector<std::string>{
                                         "Failed to remove speaker: p (Speaker is permanent)",
                                         "Failed to remove speaker: z (Speaker not found)",
                                         "Removing speaker: p",
                                         "Removing speaker: a",
                                     }));
}

TEST(SpeakerManagerMaintenanceTests, BulkRemovalsSparePermanentSpeakersWhenAsked) {
    SpeakerManager inactive = managerOf({{.id = "a"}, {.id = "b"}, {.id = "p", .isPermanent = true}});
    const Speaker::Date cutoff = past + std::chrono::seconds(10);
    inactive.upsertSpeaker(SpeakerUpsert{.id = "b", .currentEmbedding = atAngle(0), .updatedAt = cutoff});
    SpeakerManager byPredicate = managerOf({{.id = "a"}, {.id = "p", .isPermanent = true}});
    testsupport::RecordingLogSink sink;
    inactive.removeSpeakersInactive(cutoff, PermanentSpeakers::protect);
    EXPECT_EQ(inactive.speakerIds(), (std::vector<std::string>{"b", "p"}));
    inactive.removeSpeakersInactive(std::chrono::duration<double>(0), PermanentSpeakers::protect);
    EXPECT_EQ(inactive.speakerIds(), (std::vector<std::string>{"p"}));

    std::vector<std::string> asked;
    byPredicate.removeSpeakers([&asked](const Speaker& speaker) {
        asked.push_back(speaker.id());
        return true;
    });
    EXPECT_EQ(asked, (std::vector<std::string>{"a", "p"}));
    EXPECT_EQ(byPredicate.speakerIds(), (std::vector<std::string>{"p"}));
    byPredicate.removeSpeakers([](const Speaker&) { return true; }, PermanentSpeakers::treatAlike);
    EXPECT_EQ(byPredicate.speakerCount(), 0u);

    EXPECT_EQ(managerMessages(sink), (std::vector<std::string>{
                                         "Removing speaker a due to inactivity",
                                         "Removing speaker b due to inactivity",
                                         "Removing speaker a based on predicate",
                                         "Removing speaker p based on predicate",
                                     }));
}

TEST(SpeakerManagerMaintenanceTests, ReassignSegmentMovesOnlyTheFirstMatch) {
    SpeakerManager manager = managerOf({{.id = "a", .history = 2}, {.id = "b", .angle = 1.0f, .history = 1}});
    const UUID segment = manager.getSpeaker("a")->rawEmbeddings.front().segmentId();
    SpeakerUpsert twice{.id = "a", .currentEmbedding = atAngle(0), .updatedAt = past};
    twice.rawEmbeddings = manager.getSpeaker("a")->rawEmbeddings;
    twice.rawEmbeddings.push_back(twice.rawEmbeddings.front());
    manager.upsertSpeaker(twice);
    const std::vector<float> mainOfA = manager.getSpeaker("a")->currentEmbedding;
    const std::vector<float> mainOfB = manager.getSpeaker("b")->currentEmbedding;

    testsupport::RecordingLogSink sink;
    EXPECT_TRUE(manager.reassignSegment(segment, "a", "b"));
    const Speaker a = *manager.getSpeaker("a");
    const Speaker b = *manager.getSpeaker("b");
    ASSERT_EQ(a.rawEmbeddings.size(), 2u);
    EXPECT_EQ(a.rawEmbeddings.back().segmentId(), segment);
    ASSERT_EQ(b.rawEmbeddings.size(), 2u);
    EXPECT_EQ(b.rawEmbeddings.back().segmentId(), segment);
    EXPECT_EQ(a.currentEmbedding, mainOfA);
    EXPECT_EQ(b.currentEmbedding, mainOfB);
    EXPECT_EQ(managerMessages(sink),
              (std::vector<std::string>{"Reassigned segment " + segment.uuidString() + " from a to b"}));
}

TEST(SpeakerManagerMaintenanceTests, ReassignSegmentThatCannotMoveChangesNothing) {
    SpeakerManager manager = managerOf({{.id = "a", .history = 1}, {.id = "b", .history = 1}});
    const UUID segment = manager.getSpeaker("a")->rawEmbeddings.front().segmentId();
    const UUID unknown = UUID::random();
    const nlohmann::json before = state(manager);
    testsupport::RecordingLogSink sink;
    EXPECT_FALSE(manager.reassignSegment(segment, "a", "z"));
    EXPECT_FALSE(manager.reassignSegment(unknown, "a", "b"));
    // A segment moved onto its own speaker would be held twice.
    EXPECT_FALSE(manager.reassignSegment(segment, "a", "a"));
    EXPECT_EQ(state(manager), before);
    EXPECT_EQ(managerMessages(sink), (std::vector<std::string>{
                                         "One or both speakers not found: from=a, to=z",
                                         "Segment " + unknown.uuidString() + " not found in speaker a",
                                     }));
}

TEST(SpeakerManagerMaintenanceTests, ListingsFollowTheTextOrderOfIds) {
    const SpeakerManager manager = managerOf({{.id = "2"}, {.id = "10", .isPermanent = true}, {.id = "1"}});
    const std::vector<std::string> ordered = {"1", "10", "2"};
    EXPECT_EQ(manager.speakerIds(), ordered);
    EXPECT_EQ(manager.getCurrentSpeakerNames(), ordered);
    EXPECT_EQ(manager.permanentSpeakerIds(), (std::vector<std::string>{"10"}));
    EXPECT_EQ(manager.getSpeakerList().back().id(), "2");
    EXPECT_EQ(manager.getAllSpeakers().size(), 3u);
    EXPECT_FALSE(manager.getSpeaker("3"));
    EXPECT_TRUE(manager.hasSpeaker("10"));
    EXPECT_EQ(manager.findSpeakers([](const Speaker& speaker) { return speaker.isPermanent; }),
              (std::vector<std::string>{"10"}));
}

TEST(SpeakerManagerMaintenanceTests, GlobalStatisticsCapTheReturnedAverageOnly) {
    SpeakerManager busy = managerOf({{.id = "a", .updateCount = 30, .history = 1}, {.id = "b", .updateCount = 2}});
    testsupport::RecordingLogSink sink;
    const SpeakerManager::Statistics statistics = busy.getGlobalSpeakerStats();
    EXPECT_EQ(statistics.totalSpeakers, 2u);
    EXPECT_EQ(statistics.totalDuration, 3.0f);
    EXPECT_EQ(statistics.averageConfidence, 1.0f);
    EXPECT_EQ(statistics.speakersWithHistory, 1u);
    EXPECT_EQ(managerMessages(sink),
              (std::vector<std::string>{"Global stats - Speakers: 2, Duration: 3.0s, Avg confidence: 1.60, "
                                        "With history: 1"}));

    const SpeakerManager quiet = managerOf({{.id = "a", .updateCount = 3}, {.id = "b", .updateCount = 5}});
    EXPECT_FLOAT_EQ(quiet.getGlobalSpeakerStats().averageConfidence, 0.4f);

    const SpeakerManager::Statistics none = SpeakerManager().getGlobalSpeakerStats();
    EXPECT_EQ(none.totalSpeakers, 0u);
    EXPECT_EQ(none.averageConfidence, 0);
}

} // namespace
} // namespace quorl
