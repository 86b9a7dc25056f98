#include "tests/QuorlAudio/vad/VadTestModel.hpp"

#include "QuorlAudio/vad/VadManager.hpp"
#include "QuorlAudio/vad/VadStreamTracker.hpp"

#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Kind = VadStreamEvent::Kind;

// Samples whose blocks of 4096 carry the probabilities (the scripted model answers a block's first sample).
std::vector<float> audioOf(const std::vector<float>& probabilities) {
    std::vector<float> samples;
    for (const float probability : probabilities) {
        samples.insert(samples.end(), 4096, probability);
    }
    return samples;
}

class VadStreamingAndSegmentationTests : public ::testing::Test {
protected:
    VadTestModel vad;
    VadManager manager{VadConfig::defaultConfig(), vad.model()};
};

TEST_F(VadStreamingAndSegmentationTests, AStreamReportsSpeechStartAndEndWithPaddingAndRoundedTimes) {
    VadStreamState state = VadManager::makeStreamState();
    std::vector<std::optional<VadStreamEvent>> events;
    for (const float probability : {0.9f, 0.9f, 0.9f, 0.1f, 0.1f, 0.1f, 0.1f}) {
        const auto result = manager.processStreamingChunk(std::vector<float>(4096, probability), state, {},
                                                          VadEventTiming{.returnSeconds = true, .timeResolution = 1});
        EXPECT_EQ(result.probability, probability);
        state = result.state;
        events.push_back(result.event);
    }
    const std::vector<std::optional<VadStreamEvent>> expected{
        VadStreamEvent{.kind = Kind::speechStart, .sampleIndex = 0, .time = 0.0},
        std::nullopt,
        std::nullopt,
        std::nullopt,
        std::nullopt,
        std::nullopt,
        VadStreamEvent{.kind = Kind::speechEnd, .sampleIndex = 13888, .time = 0.9},
    };
    EXPECT_EQ(events, expected);
    EXPECT_FALSE(state.triggered);
    EXPECT_EQ(state.tempEndSample, std::nullopt);
    EXPECT_EQ(state.processedSamples, 28672);
    EXPECT_EQ(state.modelState.hiddenState, std::vector<float>(128, 7.0f));
}

TEST_F(VadStreamingAndSegmentationTests, ShortBlocksCountTheirOwnSamplesAndTimesAreLeftOutUnlessAsked) {
    VadStreamState state = VadManager::makeStreamState();
    state.processedSamples = 4000;
    const auto result = manager.processStreamingChunk(std::vector<float>(1000, 0.9f), state);
    EXPECT_EQ(result.state.processedSamples, 5000);
    EXPECT_EQ(result.event, (VadStreamEvent{.kind = Kind::speechStart, .sampleIndex = 2400, .time = std::nullopt}));
    EXPECT_EQ(result.state.modelState.context, std::vector<float>(64, 0.9f));
}

TEST_F(VadStreamingAndSegmentationTests, AFailingBlockThrowsAndTheCallerKeepsItsState) {
    const VadStreamState state = VadManager::makeStreamState();
    vad.omittedOutputs = {"vad_output"};
    EXPECT_THROW(manager.processStreamingChunk(std::vector<float>(4096, 0.9f), state), std::exception);
    EXPECT_EQ(state, VadStreamState::initial());
}

TEST(VadStreamTrackerTests, EachStateAndProbabilityLeadsToThisStateAndEvent) {
    const VadStreamTracker tracker(VadSegmentationConfig::defaultConfig(), 0.85f);
    const struct {
        const char* name;
        VadStreamState before;
        float probability;
        bool triggered;
        std::optional<std::int64_t> tempEndSample;
        std::optional<VadStreamEvent> event;
    } cases[] = {
        {"quiet stays quiet", {.processedSamples = 8192}, 0.5f, false, std::nullopt, std::nullopt},
        {"speech starts",
         {.processedSamples = 8192},
         0.85f,
         true,
         std::nullopt,
         VadStreamEvent{.kind = Kind::speechStart, .sampleIndex = 6592}},
        {"speech goes on and forgets its silence",
         {.triggered = true, .tempEndSample = 4096, .processedSamples = 8192},
         0.9f,
         true,
         std::nullopt,
         std::nullopt},
        {"between the thresholds nothing changes",
         {.triggered = true, .tempEndSample = 4096, .processedSamples = 8192},
         0.75f,
         true,
         4096,
         std::nullopt},
        {"a silence begins at the end of the block",
         {.triggered = true, .processedSamples = 8192},
         0.1f,
         true,
         12288,
         std::nullopt},
        {"a long enough silence ends speech",
         {.triggered = true, .tempEndSample = 4096, .processedSamples = 12288},
         0.1f,
         false,
         std::nullopt,
         VadStreamEvent{.kind = Kind::speechEnd, .sampleIndex = 1600}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VadStreamState state = c.before;
        EXPECT_EQ(tracker.advance(state, c.probability, 4096), c.event);
        EXPECT_EQ(state.triggered, c.triggered);
        EXPECT_EQ(state.tempEndSample, c.tempEndSample);
        EXPECT_EQ(state.processedSamples, c.before.processedSamples + 4096);
    }
}

TEST_F(VadStreamingAndSegmentationTests, ARecordingIsSegmentedInSecondsAndItsSpeechSamplesTaken) {
    const auto samples = audioOf({0.9f, 0.9f, 0.1f, 0.1f, 0.1f, 0.1f});
    EXPECT_EQ(manager.segmentSpeech(samples), (std::vector<VadSegment>{{0.0, 0.612}}));
    const auto pieces = manager.segmentSpeechAudio(samples);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0], std::vector<float>(samples.begin(), samples.begin() + 9792));
    EXPECT_TRUE(manager.segmentSpeech(std::vector<float>{}).empty());
}

TEST_F(VadStreamingAndSegmentationTests, SegmentsFromResultsUseTheManagersThresholdAndStayInsideTheRecording) {
    const VadManager strict(VadConfig{.defaultThreshold = 0.95f}, vad.model());
    const auto results = manager.processAudioSamples(audioOf({0.1f, 0.9f, 0.9f}));
    EXPECT_EQ(manager.segmentSpeech(results, 12288), (std::vector<VadSegment>{{0.156, 0.768}}));
    EXPECT_TRUE(strict.segmentSpeech(results, 12288).empty());
    EXPECT_EQ(manager.segmentSpeech(results, 10000), (std::vector<VadSegment>{{0.156, 0.625}}));
    EXPECT_TRUE(manager.segmentSpeech(results, 0).empty());
}

} // namespace
} // namespace quorl
