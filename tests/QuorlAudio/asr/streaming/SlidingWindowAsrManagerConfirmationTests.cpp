#include "SlidingWindowTest.hpp"

#include <string>
#include <vector>

namespace quorl::testing {
namespace {

using ConfirmationTest = SlidingWindowTest;

// Buffers that end exactly where the windows do, so the audio received when a window is decoded is a whole
// number of tenths of a second.
constexpr std::size_t bufferFrames = 1600;

std::vector<bool> confirmations(const std::vector<SlidingWindowTranscriptionUpdate>& updates) {
    std::vector<bool> flags;
    for (const auto& update : updates) {
        flags.push_back(update.isConfirmed);
    }
    return flags;
}

TEST_F(ConfirmationTest, AConfidentWindowConfirmsTheTextOfTheWindowBeforeIt) {
    models.scriptWindows({
        {{50, JointAnswer{.token = one, .probability = 0.9f}}},
        {{100, JointAnswer{.token = two, .probability = 0.5f}}},
        {{100, JointAnswer{.token = three, .probability = 0.8f}}},
        {{40, JointAnswer{.token = four, .probability = 0.95f}}},
    });
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 35 * second, bufferFrames);
    EXPECT_EQ(recogniser->finish(), "one two three four");

    const auto published = drained(updates);
    EXPECT_EQ(confirmations(published), (std::vector<bool>{true, false, true, true}));
    ASSERT_EQ(published.size(), 4u);
    EXPECT_EQ(published[1].confidence, 0.5f);
    EXPECT_EQ(recogniser->confirmedTranscript(), "two three");
    EXPECT_EQ(recogniser->volatileTranscript(), "four");
    for (const char* line : {
             "CONFIRMED (0.9, 13.0s context): promoted to confirmed; new volatile 'one'",
             "VOLATILE (0.5): low confidence - updated volatile 'two'",
             "CONFIRMED (0.8, 35.0s context): promoted to confirmed; new volatile 'three'",
             "CONFIRMED (0.95, 35.0s context): promoted to confirmed; new volatile 'four'",
         }) {
        EXPECT_TRUE(logged(line)) << line;
    }
}

TEST_F(ConfirmationTest, WindowsStayVolatileUntilTenSecondsOfAudioHaveArrived) {
    // Two-second chunks: windows are decoded at 4, 6, 8 and 10 s, then the flush decodes the last two seconds,
    // which hold no token.
    models.scriptWindows({
        {{10, JointAnswer{.token = one, .probability = 1.0f}}},
        {{60, JointAnswer{.token = two, .probability = 1.0f}}},
        {{60, JointAnswer{.token = three, .probability = 1.0f}}},
        {{60, JointAnswer{.token = four, .probability = 1.0f}}},
    });
    const auto config = SlidingWindowAsrConfig::custom({.chunkDuration = 2.0, .confirmationThreshold = 0.5});
    auto updates = started(config).transcriptionUpdates();
    streamRange(*recogniser, 0, 10 * second, bufferFrames);
    recogniser->finish();

    const auto published = drained(updates);
    EXPECT_EQ(confirmations(published), (std::vector<bool>{false, false, false, true, false}));
    ASSERT_EQ(published.size(), 5u);
    EXPECT_EQ(published[4].confidence, 0.1f);
    EXPECT_EQ(recogniser->confirmedTranscript(), "three");
    EXPECT_EQ(recogniser->volatileTranscript(), "");
    for (const char* line : {
             "VOLATILE (1.0): insufficient context (4.0s) - updated volatile 'one'",
             "VOLATILE (1.0): insufficient context (6.0s) - updated volatile 'two'",
             "VOLATILE (1.0): insufficient context (8.0s) - updated volatile 'three'",
             "CONFIRMED (1.0, 10.0s context): promoted to confirmed; new volatile 'four'",
             "VOLATILE (0.1): low confidence - updated volatile ''",
         }) {
        EXPECT_TRUE(logged(line)) << line;
    }
}

TEST_F(ConfirmationTest, AConfidenceEqualToTheThresholdOnceWidenedConfirms) {
    const struct {
        float probability;
        double threshold;
        bool confirmed;
    } cases[] = {
        {0.7f, static_cast<double>(0.7f), true},
        {0.7f, 0.7, false},
        {0.8f, 0.8, true},
        {0.69f, static_cast<double>(0.7f), false},
    };
    for (const auto& c : cases) {
        StreamingTestModels scripted(vocabulary());
        scripted.scriptWindows({{{50, JointAnswer{.token = one, .probability = c.probability}}}});
        SlidingWindowAsrManager manager(
            SlidingWindowAsrConfig{.hypothesisChunkSeconds = 1.0, .confirmationThreshold = c.threshold});
        manager.loadModels(scripted.modelSet());
        auto updates = manager.transcriptionUpdates();
        manager.startStreaming(AudioSource::microphone);
        streamRange(manager, 0, 13 * second);
        manager.finish();
        const auto published = drained(updates);
        ASSERT_FALSE(published.empty());
        EXPECT_EQ(published[0].isConfirmed, c.confirmed) << c.probability << " against " << c.threshold;
    }
}

} // namespace
} // namespace quorl::testing
