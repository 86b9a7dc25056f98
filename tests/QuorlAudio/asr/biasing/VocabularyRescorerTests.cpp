#include "CharacterCtc.hpp"

#include "QuorlAudio/asr/biasing/CtcTokenizerError.hpp"
#include "QuorlAudio/asr/biasing/TextSimilarity.hpp"
#include "QuorlAudio/asr/biasing/VocabularyRescorer.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace ctc = testing::characterCtc;
using Candidate = VocabularyRescorer::CTCMatchCandidate;

CustomVocabularyTerm term(const std::string& text, std::optional<float> minSimilarity = std::nullopt) {
    return CustomVocabularyTerm({.text = text, .ctcTokenIds = ctc::tokens(text), .minSimilarity = minSimilarity});
}

class VocabularyRescorerTest : public ::testing::Test {
protected:
    VocabularyRescorerTest() { ctc::writeTokenizer(folder.path()); }

    VocabularyRescorer rescorer(std::vector<CustomVocabularyTerm> terms = {},
                                VocabularyRescorer::Config config = {}) const {
        return VocabularyRescorer::create(CtcKeywordSpotter(CtcModels{}, ctc::blankId),
                                          CustomVocabularyContext{.terms = std::move(terms)}, config, folder.path());
    }

    // A candidate of one word spoken from frame 10 to frame 20 (0.8 s to 1.6 s).
    static Candidate candidate(const std::string& phrase, const std::string& vocabTerm, std::int64_t spanLength = 1) {
        return {.originalPhrase = phrase,
                .vocabTerm = vocabTerm,
                .vocabTokens = ctc::tokens(vocabTerm),
                .similarity = 0.7f,
                .spanLength = spanLength,
                .spanIndices = {0},
                .spanStartTime = 0.8,
                .spanEndTime = 1.6};
    }

    VocabularyRescorer::Scoring scoring(float cbw = 4.5f, double frameDuration = ctc::frameDuration) const {
        return {
            .logProbs = rows, .frameDuration = frameDuration, .cbw = cbw, .marginSeconds = 0.5, .minSimilarity = 0.5f};
    }

    testsupport::TemporaryFolder folder;
    // The audio says "kubernetes" from frame 10 on.
    CtcKeywordSpotter::Rows rows = ctc::rowsSaying("kubernetes", 10, 40);
};

TEST_F(VocabularyRescorerTest, CreateLoadsTheTokenizerAndChoosesTheTermCentricSearch) {
    const auto made = rescorer({term("Kubernetes")});
    EXPECT_TRUE(made.ctcTokenizer().has_value());
    EXPECT_FALSE(made.useBKTree());
    EXPECT_FALSE(made.bkTree().has_value());
    EXPECT_EQ(made.bkTreeMaxDistance(), 3);
    EXPECT_EQ(made.vocabulary().terms.size(), 1u);
    EXPECT_EQ(made.spotter().blankId(), ctc::blankId);
}

TEST_F(VocabularyRescorerTest, CreateFailsWithTheTokenizersErrors) {
    const auto spotter = CtcKeywordSpotter(CtcModels{}, ctc::blankId);
    EXPECT_THROW(VocabularyRescorer::create(spotter, {}, {}, folder.path() / "empty"), CtcTokenizerError);
    testsupport::ScopedEnvironment environment;
    environment.set("XDG_DATA_HOME", std::nullopt).set("HOME", std::nullopt);
    EXPECT_THROW(VocabularyRescorer::create(spotter, {}, {}, std::nullopt), CtcTokenizerError);
}

TEST_F(VocabularyRescorerTest, TheTermReplacesASpanThatItsWeightedScoreBeats) {
    const auto result = rescorer().evaluateCTCMatch(candidate("cabernets", "Kubernetes"), scoring());
    // The term is heard exactly (0 per token) and weighted for its 11 tokens; "cabernets" misses "k" and "u"
    // and has no frame for its second "e": three tokens at -40 over ten.
    const float weight = 4.5f * (1.0f + 0.3f * std::log2(11.0f / 3.0f));
    EXPECT_TRUE(result.shouldReplace);
    EXPECT_FLOAT_EQ(result.boostedVocabScore, weight);
    EXPECT_FLOAT_EQ(result.originalScore, -12.0f);
    EXPECT_EQ(result.replacement, "Kubernetes");
    EXPECT_EQ(result.reason, "CTC-vs-CTC: 'Kubernetes'=7.03 > 'cabernets'=-12.00");

    const auto multiWord = rescorer().evaluateCTCMatch(candidate("Cooper netties", "kubernetes", 2), scoring());
    EXPECT_EQ(multiWord.replacement, "Kubernetes") << "capitalised like the span's first word";
    EXPECT_TRUE(multiWord.reason.starts_with("CTC-vs-CTC (multi-word): 'kubernetes'=")) << multiWord.reason;
    EXPECT_EQ(rescorer().evaluateCTCMatch(candidate("cooper netties", "kubernetes", 2), scoring()).replacement,
              "kubernetes");
}

TEST_F(VocabularyRescorerTest, AnEqualScoreKeepsTheTranscript) {
    // Both spell the same letters; without weight neither wins.
    const auto result = rescorer({}, {.useAdaptiveThresholds = false})
                            .evaluateCTCMatch(candidate("KUBERNETES", "Kubernetes"), scoring(0.0f));
    EXPECT_EQ(result.originalScore, result.boostedVocabScore);
    EXPECT_FALSE(result.shouldReplace);
    EXPECT_EQ(result.reason, "CTC-vs-CTC: 'Kubernetes'=0.00 > 'KUBERNETES'=0.00");
}

TEST_F(VocabularyRescorerTest, TheTermIsScoredWithoutItsBoundaryWhenThatScoresBetter) {
    // The audio has no word-boundary frame before the letters.
    rows = ctc::rowsSaying("kubernetes", 10, 40);
    rows.erase(rows.begin() + 10);
    const auto result = rescorer().evaluateCTCMatch(candidate("cabernets", "Kubernetes"), scoring());
    EXPECT_FLOAT_EQ(result.boostedVocabScore, 4.5f * (1.0f + 0.3f * std::log2(10.0f / 3.0f)));
}

TEST_F(VocabularyRescorerTest, OnlyTheSpanAndItsMarginAreSearched) {
    // "kubernetes" is said 24 frames after the span ends: out of reach of a 0.5 s margin.
    rows = ctc::rowsSaying("kubernetes", 50, 80);
    const auto far = rescorer().evaluateCTCMatch(candidate("cabernets", "Kubernetes"), scoring());
    EXPECT_LT(far.boostedVocabScore, -20.0f);
    // A span at the start: the window starts at frame 0 however far the margin reaches.
    rows = ctc::rowsSaying("kubernetes", 0, 40);
    Candidate early = candidate("cabernets", "Kubernetes");
    early.spanStartTime = 0.0;
    EXPECT_TRUE(rescorer().evaluateCTCMatch(early, scoring()).shouldReplace);
}

TEST_F(VocabularyRescorerTest, WithoutTokenizerOrTimingTheTranscriptIsKept) {
    const VocabularyRescorer noTokenizer({.spotter = CtcKeywordSpotter(CtcModels{}, ctc::blankId),
                                          .vocabulary = {},
                                          .ctcTokenizer = std::nullopt,
                                          .useBKTree = false,
                                          .bkTree = std::nullopt,
                                          .bkTreeMaxDistance = 3,
                                          .config = {}});
    const auto untokenized = noTokenizer.evaluateCTCMatch(candidate("cabernets", "Kubernetes"), scoring());
    EXPECT_FALSE(untokenized.shouldReplace);
    EXPECT_EQ(untokenized.originalScore, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(untokenized.boostedVocabScore, 0.0f) << "the term's own score, unweighted";
    EXPECT_EQ(untokenized.reason, "No tokenizer available");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    for (const double frameDuration : {0.0, -0.08, nan, infinity}) {
        const auto result =
            rescorer().evaluateCTCMatch(candidate("cabernets", "Kubernetes"), scoring(4.5f, frameDuration));
        EXPECT_FALSE(result.shouldReplace) << frameDuration;
        EXPECT_EQ(result.replacement, "Kubernetes");
        EXPECT_EQ(result.reason, "Invalid frame timing");
    }
    Candidate endless = candidate("cabernets", "Kubernetes");
    endless.spanEndTime = infinity;
    EXPECT_FALSE(rescorer().evaluateCTCMatch(endless, scoring()).shouldReplace);
}

TEST(VocabularyRescorerRulesTest, ShortWordsAndStopWordsNeedMore) {
    EXPECT_EQ(VocabularyRescorer::checkLengthRatioRules("cub", "kubernetes", 0.5f), 0.8f);
    EXPECT_EQ(VocabularyRescorer::checkLengthRatioRules("cub", "kubernetes", 0.9f), 0.9f);
    EXPECT_EQ(VocabularyRescorer::checkLengthRatioRules("cabern", "kubernetes", 0.5f), 0.5f);
    EXPECT_EQ(VocabularyRescorer::checkLengthRatioRules("cube", "cubes", 0.5f), 0.5f) << "ratio 0.8";

    const auto single = VocabularyRescorer::checkStopwordRules("the", 1, {"the"}, 0.5f);
    EXPECT_TRUE(single.shouldSkip);
    EXPECT_TRUE(VocabularyRescorer::checkStopwordRules("went", 1, {"went"}, 0.5f).shouldSkip)
        << "a common verb alone is a stop word";
    const struct {
        std::vector<std::string> span;
        float threshold;
        float expected;
    } spans[] = {
        {{"in", "the"}, 0.55f, 0.85f},
        {{"go", "kube"}, 0.55f, 0.55f},
        {{"kube", "them"}, 0.9f, 0.9f},
    };
    for (const auto& [span, threshold, expected] : spans) {
        const auto decision = VocabularyRescorer::checkStopwordRules(span[0], 2, span, threshold);
        EXPECT_FALSE(decision.shouldSkip);
        EXPECT_EQ(decision.adjustedMinSimilarity, expected) << span[0] << " " << span[1];
    }
    EXPECT_EQ(VocabularyRescorer::stopwords().size(), 122u);
    EXPECT_EQ(VocabularyRescorer::multiWordStopwords().size(), 83u);
}

TEST(VocabularyRescorerWordTimingsTest, TokensAreGroupedAtWordMarks) {
    const std::vector<TokenTiming> tokens{
        {.token = "New", .startTime = 0.0, .endTime = 0.2},
        {.token = "<blank>", .startTime = 0.2, .endTime = 0.3},
        {.token = "\u2581Yor", .startTime = 0.4, .endTime = 0.6},
        {.token = "", .startTime = 0.6, .endTime = 0.7},
        {.token = "k", .startTime = 0.7, .endTime = 0.8},
        {.token = "<pad>", .startTime = 0.8, .endTime = 0.9},
        {.token = " city", .startTime = 1.0, .endTime = 1.3},
        {.token = "\u2581", .startTime = 1.4, .endTime = 1.5},
        {.token = "now", .startTime = 1.6, .endTime = 1.9},
    };
    EXPECT_EQ(VocabularyRescorer::buildWordTimings(tokens),
              (std::vector<VocabularyRescorer::WordTiming>{
                  {"New", 0.0, 0.2}, {"York", 0.4, 0.8}, {"city", 1.0, 1.3}, {"now", 1.6, 1.9}}));
    EXPECT_TRUE(VocabularyRescorer::buildWordTimings({}).empty());
}

class CandidateSearchTest : public VocabularyRescorerTest {};

TEST_F(CandidateSearchTest, ASingleWordTermIsComparedWithTheWordAndItsCompounds) {
    const auto candidates =
        rescorer({term("kubernetes")}).findCandidateTermsForWord("cooper", {"netties", "dashboard"}, 0.0f, {});
    const float compound = stringSimilarity("coopernetties", "kubernetes") * std::sqrt(10.0f / 13.0f);
    const float longCompound = stringSimilarity("coopernettiesdashboard", "kubernetes") * std::sqrt(10.0f / 22.0f);
    ASSERT_EQ(candidates.size(), 3u);
    std::vector<std::pair<float, std::int64_t>> found;
    for (const auto& candidate : candidates) {
        found.emplace_back(candidate.similarity, candidate.spanLength);
    }
    std::vector<std::pair<float, std::int64_t>> expected{
        {stringSimilarity("cooper", "kubernetes"), 1}, {compound, 2}, {longCompound, 3}};
    std::ranges::sort(expected, [](const auto& a, const auto& b) { return a.first > b.first; });
    EXPECT_EQ(found, expected);
    EXPECT_TRUE(rescorer({term("kubernetes")}).findCandidateTermsForWord("", {"kubernetes"}, 0.0f, {}).empty());
}

TEST_F(CandidateSearchTest, PhrasesAndThresholdsOfEachTerm) {
    const auto searcher = rescorer({term("new york"), term("newark", 0.95f), term("..."), term("nework", 0.3f)});
    const auto candidates = searcher.findCandidateTermsForWord("new", {"york", "city", "now"}, 0.6f, {});
    std::vector<std::pair<std::string, std::int64_t>> found;
    for (const auto& candidate : candidates) {
        found.emplace_back(candidate.term.text(), candidate.spanLength);
    }
    // "new york" scores 1.0 over two words; "nework" passes its own 0.3 alone and as "newyork"; "newark" is
    // held to 0.95.
    EXPECT_EQ(found.front(), (std::pair<std::string, std::int64_t>{"new york", 2}));
    EXPECT_TRUE(std::ranges::count(found, std::pair<std::string, std::int64_t>{"nework", 1}) == 1);
    EXPECT_TRUE(std::ranges::none_of(
        found, [](const auto& entry) { return entry.first != "new york" && entry.first != "nework"; }));
    // A three-letter compound of one-letter words is too short to compare.
    EXPECT_TRUE(rescorer({term("abcd", 0.0f)}).findCandidateTermsForWord("a", {"b", "cd"}, 0.0f, {}).size() == 2u);
}

TEST_F(CandidateSearchTest, TheTreeSearchFindsTheSameTerms) {
    const std::vector<CustomVocabularyTerm> terms{term("kubernetes"), term("postgres"), term("new york")};
    const VocabularyRescorer withTree({.spotter = CtcKeywordSpotter(CtcModels{}, ctc::blankId),
                                       .vocabulary = {.terms = terms},
                                       .ctcTokenizer = std::nullopt,
                                       .useBKTree = true,
                                       .bkTree = BKTree(terms),
                                       .bkTreeMaxDistance = 3,
                                       .config = {}});
    const auto single = withTree.findCandidateTermsForWord("kubernetis", {}, 0.6f, {});
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].term.text(), "kubernetes");
    EXPECT_FLOAT_EQ(single[0].similarity, 0.9f);
    const auto phrase = withTree.findCandidateTermsForWord("new", {"york"}, 0.6f, {});
    ASSERT_FALSE(phrase.empty());
    EXPECT_EQ(phrase[0].term.text(), "new york");
    EXPECT_EQ(phrase[0].spanLength, 2);
}

} // namespace
} // namespace quorl
