#include "QuorlAudio/asr/biasing/CtcDPAlgorithm.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorl {
namespace {

using CtcDPAlgorithm::Hit;
using CtcDPAlgorithm::LogProbs;

constexpr std::int64_t blank = 8;

// One frame per symbol: -0.1 on the symbol (a token id or `blank`), -5.0 on every other entry.
LogProbs framesOf(const std::vector<std::int64_t>& symbols) {
    LogProbs frames;
    for (const auto symbol : symbols) {
        std::vector<float> frame(blank + 1, -5.0f);
        frame[static_cast<std::size_t>(symbol)] = -0.1f;
        frames.push_back(frame);
    }
    return frames;
}

void expectHits(const std::vector<Hit>& actual, const std::vector<Hit>& expected, const std::string& label) {
    ASSERT_EQ(actual.size(), expected.size()) << label;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].score, expected[i].score, 1e-5) << label;
        EXPECT_EQ(actual[i].startFrame, expected[i].startFrame) << label;
        EXPECT_EQ(actual[i].endFrame, expected[i].endFrame) << label;
    }
}

TEST(CtcDPAlgorithmTest, FillsTheBestScoreOfTheWholeTermPerRow) {
    const auto tables = CtcDPAlgorithm::fillDPTable(framesOf({blank, blank, 7, blank, blank, blank}), {7}, blank);
    const std::vector<float> expected{CtcDPAlgorithm::unreachableScore, -5.0f, -5.0f, -0.1f, -0.2f, -0.3f, -0.4f};
    ASSERT_EQ(tables.dp.size(), expected.size());
    for (std::size_t t = 0; t < expected.size(); ++t) {
        EXPECT_NEAR(tables.dp[t][1], expected[t], 1e-5) << t;
        EXPECT_EQ(tables.dp[t][0], 0.0f);
    }
}

TEST(CtcDPAlgorithmTest, SpotsTermsUnderTheCtcRules) {
    struct Case {
        std::string label;
        LogProbs frames;
        std::vector<std::int64_t> tokens;
        std::vector<Hit> hits;
    };
    const std::vector<Case> cases{
        {"one token", framesOf({blank, blank, 7, blank, blank, blank}), {7}, {{-0.1f, 2, 3}}},
        {"two occurrences",
         framesOf({blank, 7, blank, blank, blank, blank, 7, blank}),
         {7},
         {{-0.1f, 1, 2}, {-0.1f, 6, 7}}},
        {"wildcard absorbs frames", framesOf({blank, 3, 5, 6, 4, blank}), {3, -1, 4}, {{-0.1f, 1, 5}}},
        {"wildcards only", framesOf({blank, blank, blank}), {-1}, {{0.0f, 0, 3}}},
        {"equal tokens need a blank between", framesOf({blank, 7, 7, blank, 7, blank}), {7, 7}, {{-0.15f, 2, 5}}},
        {"no frames", {}, {7}, {}},
        {"no tokens", framesOf({7}), {}, {}},
        {"fewer frames than tokens", framesOf({3}), {3, 4}, {}},
    };
    for (const auto& [label, frames, tokens, hits] : cases) {
        expectHits(CtcDPAlgorithm::ctcWordSpotMultiple(frames, tokens, -15.0f, true, blank), hits, label);
    }
}

TEST(CtcDPAlgorithmTest, KeepsOnlyHitsReachingTheMinimumScore) {
    LogProbs frames = framesOf({blank, 7, blank, blank, blank, blank, 7, blank});
    frames[1][7] = -2.0f;
    frames[6][7] = -3.0f;
    expectHits(CtcDPAlgorithm::ctcWordSpotMultiple(frames, {7}, -2.5f, true, blank), {{-2.0f, 1, 2}}, "one");
    expectHits(CtcDPAlgorithm::ctcWordSpotMultiple(frames, {7}, -1.0f, true, blank), {}, "none");
}

TEST(CtcDPAlgorithmTest, CountsRealTokens) {
    EXPECT_EQ(CtcDPAlgorithm::nonWildcardCount({3, -1, 4}), 2);
    EXPECT_EQ(CtcDPAlgorithm::nonWildcardCount({-1}), 0);
}

} // namespace
} // namespace quorl
