#include "QuorlAudio/asr/biasing/ReplacementFinalization.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl::rescoring {
namespace {

std::vector<WordTiming> wordsOf(const std::vector<std::string>& words) {
    std::vector<WordTiming> timings;
    for (std::size_t i = 0; i < words.size(); ++i) {
        timings.push_back({.word = words[i],
                           .startTime = 0.5 * static_cast<double>(i),
                           .endTime = 0.5 * static_cast<double>(i) + 0.4});
    }
    return timings;
}

PendingReplacement pending(std::vector<std::int64_t> span, float similarity, std::string term) {
    return {.candidate = {.originalPhrase = "phrase",
                          .vocabTerm = term,
                          .vocabTokens = {1},
                          .similarity = similarity,
                          .spanLength = static_cast<std::int64_t>(span.size()),
                          .spanIndices = span,
                          .spanStartTime = 0,
                          .spanEndTime = 1},
            .result = {.shouldReplace = true,
                       .originalScore = -3.0f,
                       .boostedVocabScore = 2.0f,
                       .replacement = term,
                       .reason = "reason of " + term},
            .similarity = similarity};
}

const std::vector<std::string> sentence{"we", "run", "cooper", "netties", "on", "the", "cluster"};

TEST(ReplacementFinalizationTest, WithNothingPendingTheWordsAreJoinedWithSingleSpaces) {
    const auto output = finalizeReplacements({}, wordsOf({"keep", "these", "words."}));
    EXPECT_EQ(output, (RescoreOutput{.text = "keep these words.", .replacements = {}, .wasModified = false}));
}

TEST(ReplacementFinalizationTest, OverlapsAreSettledBySimilarityStepThenShorterSpanThenSimilarity) {
    const struct {
        const char* name;
        std::vector<PendingReplacement> pending;
        std::string text;
    } cases[] = {
        // 0.94 and 0.96 share a step: the one-word span wins.
        {"shorter span in one step",
         {pending({2, 3}, 0.96f, "Kubernetes"), pending({3}, 0.94f, "Nettie")},
         "we run cooper Nettie on the cluster"},
        // 0.90 and 0.97 lie in different steps.
        {"higher step",
         {pending({3}, 0.90f, "Nettie"), pending({2, 3}, 0.97f, "Kubernetes")},
         "we run Kubernetes on the cluster"},
        // 0.92 rounds to 18 steps, 0.925 to 19.
        {"rounding of the step",
         {pending({3}, 0.92f, "Nettie"), pending({2, 3}, 0.925f, "Kubernetes")},
         "we run Kubernetes on the cluster"},
        {"equal span within a step",
         {pending({3}, 0.91f, "Low"), pending({3}, 0.93f, "High")},
         "we run cooper High on the cluster"},
        {"ties keep the order of collection",
         {pending({3}, 0.9f, "First"), pending({3}, 0.9f, "Second")},
         "we run cooper First on the cluster"},
    };
    for (const auto& testCase : cases) {
        const auto output = finalizeReplacements(testCase.pending, wordsOf(sentence));
        EXPECT_EQ(output.text, testCase.text) << testCase.name;
        EXPECT_EQ(output.replacements.size(), 1u) << testCase.name;
        EXPECT_TRUE(output.wasModified);
    }
}

TEST(ReplacementFinalizationTest, AppliedReplacementsFollowThePreferenceAndRecordTheirScores) {
    const auto output =
        finalizeReplacements({pending({0}, 0.6f, "Wee"), pending({5, 6}, 0.8f, "The Cluster")}, wordsOf(sentence));
    EXPECT_EQ(output.text, "Wee run cooper netties on The Cluster");
    ASSERT_EQ(output.replacements.size(), 2u);
    EXPECT_EQ(output.replacements[0], (RescoringResult{.originalWord = "phrase",
                                                       .originalScore = -3.0f,
                                                       .replacementWord = "The Cluster",
                                                       .replacementScore = 2.0f,
                                                       .shouldReplace = true,
                                                       .reason = "reason of The Cluster"}));
    EXPECT_EQ(output.replacements[1].replacementWord, "Wee");
}

TEST(ReplacementFinalizationTest, PunctuationAroundTheReplacedWordsStays) {
    const struct {
        std::vector<std::string> words;
        std::vector<std::int64_t> span;
        std::string term;
        std::string text;
    } cases[] = {
        {{"run", "netties."}, {1}, "Kubernetes", "run Kubernetes."},
        {{"(cooper", "netties),"}, {0, 1}, "Kubernetes", "(Kubernetes),"},
        {{"\u201cnetties\u201d"}, {0}, "Kubernetes", "\u201cKubernetes\u201d"},
        {{"yahu!"}, {0}, "Yahoo!", "Yahoo!"},
        {{"run", "netties"}, {1}, "Kubernetes", "run Kubernetes"},
    };
    for (const auto& testCase : cases) {
        const auto output =
            finalizeReplacements({pending(testCase.span, 0.9f, testCase.term)}, wordsOf(testCase.words));
        EXPECT_EQ(output.text, testCase.text);
        EXPECT_EQ(output.replacements.front().replacementWord, testCase.term);
    }
}

} // namespace
} // namespace quorl::rescoring
