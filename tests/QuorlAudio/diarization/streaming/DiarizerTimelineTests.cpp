#include "QuorlAudio/diarization/streaming/DiarizerTimeline.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineError.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quorl {
namespace {

// Frames of two slots in which slot 0 has the value frame / 100 and slot 1 silence.
std::vector<float> rampFrames(int first, int count) {
    std::vector<float> values;
    for (int frame = first; frame < first + count; ++frame) {
        values.push_back(static_cast<float>(frame) / 100);
        values.push_back(0);
    }
    return values;
}

// One slot speaking in frames 1 and 2 (finalized) and again in the tentative frame.
DiarizerTimelineUpdate speakAndGoOn(DiarizerTimeline& timeline) {
    return timeline.addPredictions(std::vector<float>{0.1f, 0.9f, 0.9f, 0.1f}, std::vector<float>{0.9f});
}

DiarizerTimelineConfig oneSlot() { return DiarizerTimelineConfig{}; }

const struct Scenario {
    const char* name;
    std::function<void()> check;
} scenarios[] = {
    {"a fresh timeline is empty",
     [] {
         const DiarizerTimeline timeline(DiarizerTimelineConfig::defaultConfig(2, 0.1f));
         EXPECT_EQ(timeline.speakerCapacity(), 2);
         EXPECT_EQ(timeline.numFrames(), 0);
         EXPECT_FALSE(timeline.hasSegments());
         EXPECT_EQ(timeline.duration(), 0);
     }},
    {"fewer than one slot is refused",
     [] {
         EXPECT_THROW(DiarizerTimeline(DiarizerTimelineConfig{.numSpeakers = 0}), std::invalid_argument);
         EXPECT_THROW(DiarizerTimeline(DiarizerTimelineConfig{.numSpeakers = -2}), std::invalid_argument);
     }},
    {"a cap keeps the newest finalized frames",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2, .maxStoredFrames = 10});
         timeline.addPredictions(rampFrames(0, 12), {});
         timeline.addPredictions(rampFrames(12, 13), {});
         EXPECT_EQ(timeline.finalizedPredictions(), rampFrames(15, 10));
         EXPECT_EQ(timeline.numFinalizedFrames(), 25);
         EXPECT_TRUE(std::isnan(timeline.probability(0, 14)));
         EXPECT_EQ(timeline.probability(0, 15), 0.15f);
         EXPECT_EQ(timeline.probability(0, 24), 0.24f);
         EXPECT_TRUE(std::isnan(timeline.probability(0, 25)));
         EXPECT_TRUE(std::isnan(timeline.probability(2, 20)));
         EXPECT_TRUE(std::isnan(timeline.probability(-1, 20)));
     }},
    {"a cap of 0 keeps no frame while the count grows",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2, .maxStoredFrames = 0});
         timeline.addPredictions(rampFrames(0, 25), rampFrames(25, 2));
         EXPECT_TRUE(timeline.finalizedPredictions().empty());
         EXPECT_EQ(timeline.numFinalizedFrames(), 25);
         timeline.finalize();
         EXPECT_TRUE(timeline.finalizedPredictions().empty());
         EXPECT_EQ(timeline.numFinalizedFrames(), 27);
     }},
    {"tentative probabilities start at the cursor",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2});
         timeline.addPredictions(rampFrames(0, 3), rampFrames(3, 2));
         EXPECT_EQ(timeline.tentativeProbability(0, 3), 0.03f);
         EXPECT_EQ(timeline.tentativeProbability(0, 4), 0.04f);
         EXPECT_TRUE(std::isnan(timeline.tentativeProbability(0, 5)));
         EXPECT_TRUE(std::isnan(timeline.tentativeProbability(0, 2)));
         EXPECT_EQ(timeline.numFrames(), 5);
     }},
    {"a misaligned chunk throws and changes nothing",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2});
         timeline.addPredictions(rampFrames(0, 3), rampFrames(3, 1));
         const auto before = timeline.takeSnapshot();
         try {
             timeline.addPredictions(std::vector<float>(5, 0.9f), {});
             ADD_FAILURE() << "nothing thrown";
         } catch (const DiarizerTimelineError& error) {
             EXPECT_STREQ(error.what(),
                          "The number of finalized predictions (5) isn't a multiple of the speaker count (2).");
         }
         EXPECT_THROW(timeline.addChunk({.tentativePredictions = std::vector<float>(3, 0.9f)}), DiarizerTimelineError);
         EXPECT_EQ(timeline.numFinalizedFrames(), 3);
         EXPECT_EQ(timeline.finalizedPredictions(), before.finalizedPredictions);
         EXPECT_EQ(timeline.tentativePredictions(), before.tentativePredictions);
     }},
    {"each chunk replaces the tentative segments",
     [] {
         DiarizerTimeline timeline(oneSlot());
         speakAndGoOn(timeline);
         const auto second = timeline.addPredictions(std::vector<float>{0.1f}, std::vector<float>{0.9f, 0.1f});
         const auto speaker = timeline.speakers().at(0);
         EXPECT_EQ(speaker->tentativeSegments(), second.tentativeSegments);
         EXPECT_EQ(speaker->finalizedSegmentCount(), 1u);
     }},
    {"finalize makes the tentative view final as it is",
     [] {
         DiarizerTimeline timeline(oneSlot());
         speakAndGoOn(timeline);
         timeline.finalize();
         EXPECT_TRUE(timeline.tentativePredictions().empty());
         EXPECT_EQ(timeline.numFinalizedFrames(), 5);
         const auto segments = timeline.speakers().at(0)->finalizedSegments();
         ASSERT_EQ(segments.size(), 2u);
         EXPECT_TRUE(segments[0].isFinalized);
         EXPECT_FALSE(segments[1].isFinalized);
         EXPECT_EQ(segments[1].startFrame, 4);
         EXPECT_EQ(timeline.speakers().at(0)->tentativeSegmentCount(), 0u);
     }},
    {"a reset keeping speakers keeps their names only",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2});
         timeline.upsertSpeaker("Ana", 1);
         timeline.addPredictions(std::vector<float>{0.9f, 0.9f, 0.1f, 0.1f}, {});
         timeline.reset(true);
         EXPECT_EQ(timeline.numFrames(), 0);
         ASSERT_EQ(timeline.speakers().size(), 2u);
         EXPECT_EQ(timeline.speakers().at(1)->name(), "Ana");
         EXPECT_FALSE(timeline.hasSegments());
         timeline.reset(false);
         EXPECT_TRUE(timeline.speakers().empty());
     }},
    {"a reset by predicate keeps the named speakers",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 3});
         timeline.upsertSpeaker("Ana", 2);
         timeline.addPredictions(std::vector<float>{0.9f, 0.9f, 0.9f, 0.1f, 0.1f, 0.1f}, {});
         timeline.resetKeepingSpeakersWhere([](const DiarizerSpeaker& speaker) { return speaker.name().has_value(); });
         const auto speakers = timeline.speakers();
         ASSERT_EQ(speakers.size(), 1u);
         EXPECT_FALSE(speakers.at(2)->hasSegments());
     }},
    {"a complete rebuild leaves nothing tentative",
     [] {
         DiarizerTimeline timeline(oneSlot());
         speakAndGoOn(timeline);
         const std::vector<float> finalized{0.9f, 0.1f};
         const std::vector<float> tentative{0.9f, 0.9f};
         const auto update = timeline.rebuild(
             {.finalizedPredictions = finalized, .tentativePredictions = tentative, .isComplete = true});
         EXPECT_EQ(update.chunkResult.startFrame, 0);
         EXPECT_EQ(update.chunkResult.tentativeFrameCount, 2);
         EXPECT_EQ(update.finalizedSegments.size(), 1u);
         EXPECT_EQ(update.tentativeSegments.size(), 1u);
         EXPECT_TRUE(timeline.tentativePredictions().empty());
         EXPECT_EQ(timeline.numFinalizedFrames(), 4);
         EXPECT_EQ(timeline.speakers().at(0)->tentativeSegmentCount(), 0u);
         EXPECT_EQ(timeline.speakers().at(0)->finalizedSegmentCount(), 2u);
     }},
    {"a rebuild without completion keeps the tentative frames",
     [] {
         const std::vector<float> finalized{0.9f, 0.1f};
         const std::vector<float> tentative{0.9f};
         DiarizerTimeline timeline(oneSlot(), {.finalizedPredictions = finalized, .tentativePredictions = tentative});
         EXPECT_EQ(timeline.numTentativeFrames(), 1);
         EXPECT_EQ(timeline.speakers().at(0)->tentativeSegmentCount(), 1u);
         EXPECT_THROW(DiarizerTimeline(DiarizerTimelineConfig{.numSpeakers = 2}, {.finalizedPredictions = tentative}),
                      DiarizerTimelineError);
     }},
    {"rollback keeping speakers keeps new names but restores segments",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2});
         timeline.upsertSpeaker("Ana", 0);
         const auto snapshot = timeline.takeSnapshot();
         timeline.upsertSpeaker("Eve", 0);
         timeline.addPredictions(std::vector<float>{0.9f, 0.9f, 0.1f, 0.1f}, {});
         timeline.rollback(snapshot, true);
         EXPECT_EQ(timeline.numFinalizedFrames(), 0);
         const auto speakers = timeline.speakers();
         ASSERT_EQ(speakers.size(), 2u);
         EXPECT_EQ(speakers.at(0)->name(), "Eve");
         EXPECT_FALSE(speakers.at(0)->hasSegments());
         EXPECT_TRUE(speakers.at(1)->hasSegments());
     }},
    {"rollback without keeping restores names and drops new speakers",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2});
         timeline.upsertSpeaker("Ana", 0);
         const auto snapshot = timeline.takeSnapshot();
         timeline.upsertSpeaker("Eve", 0);
         timeline.addPredictions(std::vector<float>{0.9f, 0.9f, 0.1f, 0.1f}, {});
         timeline.rollback(snapshot, false);
         const auto speakers = timeline.speakers();
         ASSERT_EQ(speakers.size(), 1u);
         EXPECT_EQ(speakers.at(0)->name(), "Ana");
         EXPECT_FALSE(timeline.hasSegments());
     }},
    {"a timeline made from a snapshot carries on where it was",
     [] {
         DiarizerTimeline original(oneSlot());
         speakAndGoOn(original);
         const DiarizerTimeline::ConfiguredSnapshot configured{.config = oneSlot(),
                                                               .snapshot = original.takeSnapshot()};
         DiarizerTimeline copy(configured);
         EXPECT_EQ(copy.numFrames(), original.numFrames());
         EXPECT_NE(copy.speakers().at(0)->id(), original.speakers().at(0)->id());
         EXPECT_EQ(copy.speakers().at(0)->finalizedSegments(), original.speakers().at(0)->finalizedSegments());
         // The run of the tentative frame goes on in both.
         const std::vector<float> more{0.9f, 0.1f};
         EXPECT_EQ(copy.addPredictions(more, {}).finalizedSegments,
                   original.addPredictions(more, {}).finalizedSegments);
         const DiarizerTimeline unstored(original.takeSnapshot(), DiarizerTimelineConfig{.storeSegments = false});
         EXPECT_TRUE(unstored.speakers().empty());
     }},
    {"named speakers fill the free slots in order",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig::sortformerDefault());
         for (std::int64_t slot = 0; slot < 4; ++slot) {
             const auto speaker = timeline.upsertSpeaker("S" + std::to_string(slot), std::nullopt);
             ASSERT_NE(speaker, nullptr);
             EXPECT_EQ(speaker->index(), slot);
         }
         EXPECT_EQ(timeline.upsertSpeaker("Fifth", std::nullopt), nullptr);
         EXPECT_EQ(timeline.upsertSpeaker("Out", 7), nullptr);
         EXPECT_EQ(timeline.upsertSpeaker("Out", -1), nullptr);
         const auto renamed = timeline.upsertSpeaker("Ana", 2);
         EXPECT_EQ(renamed, timeline.speakers().at(2));
         EXPECT_EQ(renamed->name(), "Ana");
         EXPECT_EQ(timeline.speakers().size(), 4u);
     }},
    {"a new speaker takes over the running segment of its slot",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2});
         timeline.addPredictions(std::vector<float>{0.1f, 0.9f, 0.1f, 0.9f}, std::vector<float>{0.1f, 0.9f});
         const auto old = timeline.speakers().at(1);
         auto enrolled = std::make_shared<DiarizerSpeaker>(platform::core::UUID::random(), 5, "Ana");
         EXPECT_EQ(timeline.upsertSpeaker(enrolled, 1, true), enrolled);
         EXPECT_EQ(enrolled->index(), 1);
         EXPECT_EQ(enrolled->tentativeSegmentCount(), 1u);
         EXPECT_FALSE(old->hasSegments());
         EXPECT_EQ(timeline.speakers().at(1), enrolled);
         // The run goes on for the new speaker.
         const auto next = timeline.addPredictions(std::vector<float>{0.1f, 0.1f}, {});
         ASSERT_EQ(next.finalizedSegments.size(), 1u);
         EXPECT_EQ(next.finalizedSegments[0].startFrame, 0);
         EXPECT_EQ(enrolled->finalizedSegmentCount(), 1u);
     }},
    {"without transfer the running segment is forgotten",
     [] {
         DiarizerTimeline timeline(DiarizerTimelineConfig{.numSpeakers = 2});
         timeline.addPredictions(std::vector<float>{0.1f, 0.9f, 0.1f, 0.9f}, {});
         auto enrolled = std::make_shared<DiarizerSpeaker>(platform::core::UUID::random(), 1, "Ana");
         timeline.upsertSpeaker(enrolled, 1, false);
         EXPECT_FALSE(enrolled->hasSegments());
         EXPECT_TRUE(timeline.addPredictions(std::vector<float>{0.1f, 0.1f}, {}).finalizedSegments.empty());
     }},
    {"a removed speaker keeps its segments",
     [] {
         DiarizerTimeline timeline(oneSlot());
         speakAndGoOn(timeline);
         const auto removed = timeline.removeSpeaker(0, true);
         ASSERT_NE(removed, nullptr);
         EXPECT_EQ(removed->finalizedSegmentCount(), 1u);
         EXPECT_TRUE(timeline.speakers().empty());
         EXPECT_EQ(timeline.removeSpeaker(0, false), nullptr);
         EXPECT_EQ(timeline.removeSpeaker(1, false), nullptr);
         // The run was forgotten with the slot's state.
         EXPECT_TRUE(timeline.addPredictions(std::vector<float>{0.1f}, {}).finalizedSegments.empty());
     }},
};

// Names are written under the speaker's lock, so a reader on another thread always sees a whole name.
TEST(DiarizerTimelineConcurrencyTests, NamesCanBeReadWhileTheTimelineRenamesTheSpeaker) {
    DiarizerTimeline timeline(DiarizerTimelineConfig{});
    const auto speaker = timeline.upsertSpeaker("a name long enough to live on the heap", 0);
    const std::string first = "a name long enough to live on the heap";
    const std::string second = "another name, also long enough for the heap";
    std::thread renamer([&] {
        for (int round = 0; round < 2000; ++round) {
            timeline.upsertSpeaker(round % 2 == 0 ? second : first, 0);
        }
    });
    for (int round = 0; round < 2000; ++round) {
        const auto name = speaker->name();
        ASSERT_TRUE(name == first || name == second);
    }
    renamer.join();
}

class DiarizerTimelineTests : public ::testing::TestWithParam<Scenario> {};

TEST_P(DiarizerTimelineTests, Scenario) { GetParam().check(); }

INSTANTIATE_TEST_SUITE_P(Scenarios, DiarizerTimelineTests, ::testing::ValuesIn(scenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                             std::string name;
                             for (const char character : std::string(info.param.name)) {
                                 if (std::isalnum(static_cast<unsigned char>(character))) {
                                     name.push_back(character);
                                 } else {
                                     name.push_back('_');
                                 }
                             }
                             return name;
                         });

} // namespace
} // namespace quorl
