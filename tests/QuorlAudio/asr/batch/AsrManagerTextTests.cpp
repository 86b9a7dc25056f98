#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"

#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace quorl {
namespace {

using platform::sys::LogType;

constexpr const char* confidenceWarning = "Expected token confidences but got none - this should not happen";
constexpr const char* delayVariable = "TDT_EMISSION_DELAY_FRAMES";

class AsrManagerTextTest : public ::testing::Test {
protected:
    AsrManagerTextTest() {
        manager_->windowInference().setVocabulary({{1, "\u2581Hel"},
                                                   {2, "lo"},
                                                   {3, "\u2581world"},
                                                   {4, ""},
                                                   {5, "\u2581the"},
                                                   {6, "a\u2581b\u2581"},
                                                   {7, "\t\u2581x"}});
    }

    // The text operations as the recogniser hands them out, against the vocabulary it holds now.
    AsrTokenText text() const { return manager_->windowInference().tokenText(); }

    std::shared_ptr<AsrManager> manager_ = AsrManager::create();
};

TEST_F(AsrManagerTextTest, ConfidenceIsTheCappedMeanOfTheTokenConfidences) {
    const struct {
        int tokenCount;
        bool isEmpty;
        std::vector<float> confidences;
        float expected;
        bool warns;
    } cases[] = {
        {3, true, {}, 0.1f, false},
        {3, false, {}, 0.5f, true},
        {3, false, {0.9f, 0.6f, 0.3f}, 0.6f, false},
        {2, false, {0.05f, 0.05f}, 0.1f, false},
        {2, false, {1.5f, 1.5f}, 1.0f, false},
        {1, false, {std::numeric_limits<float>::quiet_NaN()}, 1.0f, false},
        {3, false, {0.9f, 0.9f}, 0.5f, true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.expected);
        const testsupport::RecordingLogSink sink;

        EXPECT_FLOAT_EQ(text().calculateConfidence(testCase.tokenCount, testCase.isEmpty, testCase.confidences),
                        testCase.expected);
        EXPECT_EQ(sink.messages("ASR", LogType::error),
                  testCase.warns ? std::vector<std::string>{confidenceWarning} : std::vector<std::string>{});
    }
}

struct TimingCase {
    const char* name;
    std::optional<std::string> delay;
    std::vector<int> tokenIds;
    std::vector<int> frames;
    std::vector<float> confidences;
    std::vector<int> durations;
    // Token id, start and end of each timing, in order.
    std::vector<std::tuple<int, double, double>> expected;
};

TEST_F(AsrManagerTextTest, TokenTimingsRunFromTheDelayedFrameToTheNextTokenOrTheDuration) {
    const std::vector<TimingCase> cases{
        {"next token's start ends a token",
         std::nullopt,
         {5, 6},
         {10, 12},
         {0.9f, 0.8f},
         {},
         {{5, 9 * 0.08, 11 * 0.08}, {6, 11 * 0.08, 11 * 0.08 + 0.08}}},
        {"durations end tokens",
         std::nullopt,
         {5, 6},
         {10, 12},
         {0.9f, 0.8f},
         {2, 0},
         {{5, 9 * 0.08, 9 * 0.08 + 2 * 0.08}, {6, 11 * 0.08, 11 * 0.08 + 0.08}}},
        {"sorted by frame",
         std::nullopt,
         {5, 6},
         {12, 10},
         {0.9f, 0.8f},
         {},
         {{6, 9 * 0.08, 11 * 0.08}, {5, 11 * 0.08, 11 * 0.08 + 0.08}}},
        {"shortest list of durations wins",
         std::nullopt,
         {5, 6},
         {10, 12},
         {0.9f, 0.8f},
         {3},
         {{5, 9 * 0.08, 9 * 0.08 + 3 * 0.08}}},
        {"frame 0 never starts early", std::nullopt, {5}, {0}, {0.9f}, {}, {{5, 0.0, 0.08}}},
        {"no delay", "0", {5}, {10}, {0.9f}, {}, {{5, 0.8, 0.88}}},
        {"delay with a sign", "+2", {5}, {10}, {0.9f}, {}, {{5, 8 * 0.08, 9 * 0.08}}},
        {"negative delay starts later", "-1", {5}, {10}, {0.9f}, {}, {{5, 11 * 0.08, 12 * 0.08}}},
        {"unreadable delay counts as 1", "x", {5}, {10}, {0.9f}, {}, {{5, 9 * 0.08, 10 * 0.08}}},
        {"delay with trailing text counts as 1", "2 ", {5}, {10}, {0.9f}, {}, {{5, 9 * 0.08, 10 * 0.08}}},
        {"too large a delay counts as 1", "99999999999999999999", {5}, {10}, {0.9f}, {}, {{5, 9 * 0.08, 10 * 0.08}}},
        {"confidences missing one", std::nullopt, {5, 6, 7}, {1, 2, 3}, {0.9f, 0.8f}, {}, {}},
        {"no tokens", std::nullopt, {}, {}, {}, {}, {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        testsupport::ScopedEnvironment environment;
        environment.set(delayVariable, testCase.delay);

        const auto timings =
            text().createTokenTimings(testCase.tokenIds, testCase.frames, testCase.confidences, testCase.durations);

        ASSERT_EQ(timings.size(), testCase.expected.size());
        for (std::size_t index = 0; index < timings.size(); ++index) {
            const auto [tokenId, start, end] = testCase.expected[index];
            EXPECT_EQ(timings[index].tokenId, tokenId);
            EXPECT_DOUBLE_EQ(timings[index].startTime, start);
            EXPECT_DOUBLE_EQ(timings[index].endTime, end);
        }
    }
}

TEST_F(AsrManagerTextTest, TokenTimingsCarryThePieceAndTheConfidence) {
    testsupport::ScopedEnvironment environment;
    environment.set(delayVariable, std::nullopt);

    const auto timings = text().createTokenTimings({5, 99, 6}, {1, 2, 3}, {0.9f, 0.8f, 0.7f}, {});

    ASSERT_EQ(timings.size(), 3u);
    EXPECT_EQ(timings[0].token, " the");
    EXPECT_FLOAT_EQ(timings[0].confidence, 0.9f);
    EXPECT_EQ(timings[1].token, "token_99");
    EXPECT_EQ(timings[2].token, "a b ");
}

TEST_F(AsrManagerTextTest, ADelayBeyondTheIntegerRangeSaturates) {
    testsupport::ScopedEnvironment environment;
    environment.set(delayVariable, "-9223372036854775808");

    const auto timings = text().createTokenTimings({5}, {10}, {0.9f}, {});

    ASSERT_EQ(timings.size(), 1u);
    EXPECT_TRUE(std::isfinite(timings[0].startTime));
    EXPECT_TRUE(std::isfinite(timings[0].endTime));
    EXPECT_GE(timings[0].endTime, timings[0].startTime);
}

TEST_F(AsrManagerTextTest, RepeatedTokensAreRemovedFromTheStartOfTheCurrentWindow) {
    const struct {
        std::vector<int> previous;
        std::vector<int> current;
        std::vector<int> deduped;
        int removedCount;
        std::vector<std::string> logLines;
    } cases[] = {
        {{1, 2, 3, 4}, {3, 4, 5}, {5}, 2, {"Found exact suffix-prefix overlap of length 2"}},
        {{5, 6, 7, 8, 9},
         {1, 7, 8, 9, 4},
         {4},
         4,
         {"Found duplicate sequence length=3 at currStart=1 (boundarySearch=20)"}},
        {{10, 7883}, {7883, 20, 30}, {20, 30}, 1, {}},
        {{10, 7883}, {7883, 10, 7883, 20}, {20}, 3, {"Found exact suffix-prefix overlap of length 2"}},
        {{1, 2, 3}, {3, 9}, {3, 9}, 0, {}},
        {{}, {3, 9}, {3, 9}, 0, {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.removedCount);
        const testsupport::RecordingLogSink sink;

        const auto result = text().removeDuplicateTokenSequence(testCase.previous, testCase.current, 12);

        EXPECT_EQ(result.deduped, testCase.deduped);
        EXPECT_EQ(result.removedCount, testCase.removedCount);
        EXPECT_EQ(sink.messages("ASR", LogType::debug), testCase.logLines);
    }
}

TEST_F(AsrManagerTextTest, TextJoinsTheKnownPiecesWithBlanksForWordMarkers) {
    const struct {
        std::vector<int> tokenIds;
        std::string text;
    } cases[] = {
        {{1, 2, 99, 4, 3}, "Hello world"},
        {{}, ""},
        {{4, 99}, ""},
        {{7, 6}, "xa b"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(text().convertTokensToText(testCase.tokenIds), testCase.text);
    }
}

} // namespace
} // namespace quorl
