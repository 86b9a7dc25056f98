#include "SlidingWindowTest.hpp"

#include "QuorlAudio/asr/streaming/SlidingWindowAsrError.hpp"

#include "platform/core/CancellationToken.hpp"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace quorl::testing {
namespace {

constexpr int samplesPerFrame = 1280;

// Seconds at which a token at the stream frame starts, one frame of emission delay before it.
double tokenStart(std::int64_t streamFrame) { return static_cast<double>(streamFrame - 1) * 0.08; }

// One window the models are given: its first stream sample, how many stream samples it holds, the valid
// length passed with it, and whether it is the last of the stream.
struct ExpectedWindow {
    std::int64_t start;
    std::int64_t sampleCount;
    int audioLength;
    bool isLast;
};

struct GeometryCase {
    std::int64_t streamSamples;
    std::vector<ExpectedWindow> windows;
};

void PrintTo(const GeometryCase& geometry, std::ostream* out) { *out << geometry.streamSamples << " samples"; }

class WindowGeometryTest : public SlidingWindowTest, public ::testing::WithParamInterface<GeometryCase> {};

// With the streaming preset (centre 176000, contexts 32000): the first window waits for 13 s, then one more
// every 11 s; at the end the flush decodes the rest, at most two windows, the last without look-ahead. First
// windows are frame-aligned (no token has been kept before them).
const GeometryCase geometryCases[] = {
    {80000, {{0, 80000, 80640, true}}},
    {208000, {{0, 208000, 208640, false}, {144000, 64000, 64000, true}}},
    {320000, {{0, 208000, 208640, false}, {144000, 176000, 176640, true}}},
    {368000, {{0, 208000, 208640, false}, {144000, 208000, 208640, false}, {320000, 48000, 48640, true}}},
    {384000, {{0, 208000, 208640, false}, {144000, 240000, 240000, false}, {320000, 64000, 64000, true}}},
    {560000,
     {{0, 208000, 208640, false},
      {144000, 240000, 240000, false},
      {320000, 240000, 240000, false},
      {496000, 64000, 64000, true}}},
};

TEST_P(WindowGeometryTest, WindowsCoverTheStreamWithContextAndAFinalFlush) {
    const GeometryCase& geometry = GetParam();
    models.markLastFrames(marker);
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, geometry.streamSamples);
    recogniser->finish();

    const auto windows = models.windows();
    const auto published = drained(updates);
    ASSERT_EQ(windows.size(), geometry.windows.size());
    ASSERT_EQ(published.size(), geometry.windows.size());
    for (std::size_t index = 0; index < windows.size(); ++index) {
        const ExpectedWindow& expected = geometry.windows[index];
        SCOPED_TRACE(index);
        EXPECT_EQ(windows[index].samples, streamSamples(expected.start, expected.sampleCount));
        EXPECT_EQ(windows[index].audioLength, expected.audioLength);
        // Only the decoder's final look at a last window emits the marker at its last frame (once per look).
        const auto& tokenIds = published[index].tokenIds;
        EXPECT_EQ(!tokenIds.empty(), expected.isLast);
        EXPECT_TRUE(std::ranges::all_of(tokenIds, [](int token) { return token == marker; }));
        if (expected.isLast) {
            const int lastFrame = (expected.audioLength + samplesPerFrame - 1) / samplesPerFrame - 1;
            ASSERT_FALSE(published[index].tokenTimings.empty());
            EXPECT_EQ(published[index].tokenTimings[0].startTime,
                      tokenStart(expected.start / samplesPerFrame + lastFrame));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(StreamLengths, WindowGeometryTest, ::testing::ValuesIn(geometryCases));

using WindowTest = SlidingWindowTest;

TEST_F(WindowTest, TokensRepeatedAcrossTheOverlapAreRemovedAndLaterWindowsAreNotAligned) {
    // Window 1 starts 144000 samples in: its frame 0 is stream frame 112 (112.5 truncated), so its "three" and
    // "four" are those window 0 heard at frames 150 and 160.
    models.scriptWindows({
        {{30, JointAnswer{.token = one}},
         {60, JointAnswer{.token = two}},
         {150, JointAnswer{.token = three}},
         {160, JointAnswer{.token = four}}},
        {{37, JointAnswer{.token = three}}, {47, JointAnswer{.token = four}}, {100, JointAnswer{.token = five}}},
    });
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 23 * second);
    EXPECT_EQ(recogniser->finish(), "one two three four five");

    const auto published = drained(updates);
    ASSERT_EQ(published.size(), 3u);
    EXPECT_EQ(published[0].tokenIds, (std::vector<int>{one, two, three, four}));
    EXPECT_EQ(published[0].text, "one two three four");
    EXPECT_EQ(published[1].tokenIds, std::vector<int>{five});
    EXPECT_EQ(published[1].text, "five");
    ASSERT_EQ(published[1].tokenTimings.size(), 1u);
    EXPECT_EQ(published[1].tokenTimings[0].startTime, tokenStart(112 + 100));
    EXPECT_EQ(published[1].tokens(), std::vector<std::string>{" five"});
    EXPECT_TRUE(published[2].tokenIds.empty());

    const auto windows = models.windows();
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[1].audioLength, 208000);
    EXPECT_EQ(windows[2].audioLength, 48000);
}

TEST_F(WindowTest, AFailedWindowIsCountedAndSkippedAndTheNextOneStartsFromAFreshDecoder) {
    // A fresh decoder looks at a window from its first frame; one carried over from window 0 would skip the
    // first 25 frames (its left context), and with them every token of window 2. Of those, "one two" repeat
    // the end of window 0.
    models.scriptWindows({
        {{100, JointAnswer{.token = one}}, {150, JointAnswer{.token = two}}},
        {},
        {{3, JointAnswer{.token = one}}, {5, JointAnswer{.token = two}}, {20, JointAnswer{.token = three}}},
    });
    models.failWindow(1, std::make_exception_ptr(std::runtime_error("encoder crashed")));
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 24 * second);
    EXPECT_EQ(recogniser->finish(), "one two three");

    const auto published = drained(updates);
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[1].tokenIds, std::vector<int>{three});
    ASSERT_EQ(published[1].tokenTimings.size(), 1u);
    EXPECT_EQ(published[1].tokenTimings[0].startTime, tokenStart(250 + 20));
    const std::vector<std::string> recovery{
        "Model processing error (window failure #1): Model processing failed: encoder crashed",
        "Attempting error recovery for: Model processing failed: encoder crashed",
        "Recovering from model processing error - resetting decoder state",
        "Successfully reset decoder state during error recovery",
    };
    EXPECT_TRUE(loggedInOrder(recovery));
    EXPECT_TRUE(logged("1 window(s) failed during streaming; transcript may be missing segments"));
}

TEST_F(WindowTest, WhenEveryWindowFailsFinishThrowsTheLastFailure) {
    models.failWindow(0, std::make_exception_ptr(std::runtime_error("first failure")));
    models.failWindow(1, std::make_exception_ptr(std::runtime_error("second failure")));
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 13 * second);
    try {
        recogniser->finish();
        FAIL() << "finished";
    } catch (const SlidingWindowAsrError& error) {
        EXPECT_EQ(error.kind(), SlidingWindowAsrError::Kind::modelProcessingFailed);
        EXPECT_EQ(std::string(error.what()), "Model processing failed: second failure");
    }
    EXPECT_TRUE(drained(updates).empty());
    EXPECT_TRUE(logged("Model processing error (window failure #2): Model processing failed: second failure"));
    EXPECT_TRUE(logged("All 2 window(s) failed to process; throwing last error instead of returning an empty "
                       "transcript"));
}

TEST_F(WindowTest, AWindowEndedByCancellationIsNeitherDecodedNorFailed) {
    models.scriptWindows({{}, {{40, JointAnswer{.token = one}}}});
    models.failWindow(0, std::make_exception_ptr(platform::core::CancellationError()));
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 13 * second);
    EXPECT_EQ(recogniser->finish(), "one");
    EXPECT_EQ(drained(updates).size(), 1u);
    EXPECT_FALSE(logged("1 window(s) failed during streaming; transcript may be missing segments"));
}

TEST_F(WindowTest, CancellingWhileAWindowIsDecodedEndsItSilently) {
    models.scriptWindows({{{40, JointAnswer{.token = one}}}});
    models.holdWindow(0);
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 13 * second);
    models.waitUntilHeld();
    recogniser->cancel();
    models.release();

    EXPECT_EQ(recogniser->finish(), "");
    EXPECT_TRUE(drained(updates).empty());
    EXPECT_EQ(models.windows().size(), 1u);
    for (const auto& line : lines()) {
        EXPECT_FALSE(line.starts_with("Model processing error")) << line;
    }
}

TEST_F(WindowTest, AResetDuringAWindowLetsItPublishAndTheNewTimelineStartsAtItsBeginning) {
    models.scriptWindows({{{50, JointAnswer{.token = one}}}});
    models.holdWindow(0);
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 13 * second);
    models.waitUntilHeld();
    // Feeding and reading go on while the window is being decoded.
    streamRange(*recogniser, 0, 5 * second);
    EXPECT_EQ(recogniser->volatileTranscript(), "");
    recogniser->reset();
    models.release();

    EXPECT_EQ(recogniser->finish(), "one");
    const auto published = drained(updates);
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0].text, "one");
    const auto windows = models.windows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[1].samples, streamSamples(0, 5 * second));
}

TEST(WindowFrameOffsetTests, FramesMoveByTheWindowStartInWholeEncoderFrames) {
    const struct {
        std::vector<int> frames;
        std::int64_t start;
        std::vector<int> moved;
    } cases[] = {
        {{0, 5, 9}, 144000, {112, 117, 121}}, {{3}, 1279, {3}}, {{3}, 1280, {4}}, {{}, 320000, {}}, {{7, 8}, 0, {7, 8}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SlidingWindowAsrManager::applyGlobalFrameOffset(c.frames, c.start), c.moved) << c.start;
    }
}

} // namespace
} // namespace quorl::testing
