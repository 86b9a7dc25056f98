#include "CharacterCtc.hpp"

#include "QuorlAudio/asr/biasing/SpotterAnchoredRescue.hpp"
#include "QuorlAudio/asr/biasing/VocabularyRescorer.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

namespace ctc = testing::characterCtc;
using WordTiming = VocabularyRescorer::WordTiming;
using Output = VocabularyRescorer::RescoreOutput;

CustomVocabularyTerm term(const std::string& text, std::optional<std::vector<std::string>> aliases = std::nullopt) {
    return CustomVocabularyTerm({.text = text, .aliases = std::move(aliases), .ctcTokenIds = ctc::tokens(text)});
}

// A word heard from frame `first` to frame `last`, exclusive.
WordTiming word(const std::string& text, std::size_t first, std::size_t last) {
    return {.word = text,
            .startTime = static_cast<double>(first) * ctc::frameDuration,
            .endTime = static_cast<double>(last) * ctc::frameDuration};
}

class RescoringPassTest : public ::testing::Test {
protected:
    RescoringPassTest() { ctc::writeTokenizer(folder.path()); }

    VocabularyRescorer rescorer(std::vector<CustomVocabularyTerm> terms, VocabularyRescorer::Config config = {}) const {
        return VocabularyRescorer::create(CtcKeywordSpotter(CtcModels{}, ctc::blankId),
                                          CustomVocabularyContext{.terms = std::move(terms)}, config, folder.path());
    }

    Output termCentric(const VocabularyRescorer& made, const std::vector<WordTiming>& words,
                       const std::string& transcript = "the transcript") const {
        return made.rescoreWithConstrainedCTCTermCentric(transcript, words, scoring());
    }

    VocabularyRescorer::Scoring scoring() const {
        return {.logProbs = rows,
                .frameDuration = ctc::frameDuration,
                .cbw = 4.5f,
                .marginSeconds = 0.5,
                .minSimilarity = 0.5f};
    }

    testsupport::TemporaryFolder folder;
    CtcKeywordSpotter::Rows rows;
};

TEST_F(RescoringPassTest, WithoutWordsOrFramesTheTranscriptComesBackAsItWas) {
    rows = ctc::rowsSaying("kubernetes", 10, 40);
    const auto made = rescorer({term("Kubernetes")});
    const Output unchanged{.text = "as  it was", .replacements = {}, .wasModified = false};
    EXPECT_EQ(termCentric(made, {}, "as  it was"), unchanged);
    EXPECT_EQ(made.ctcTokenRescore("as  it was", {}, scoring()), unchanged);
    rows.clear();
    EXPECT_EQ(termCentric(made, {word("as", 0, 2)}, "as  it was"), unchanged);
    EXPECT_EQ(made.rescoreWithConstrainedCTCWordCentric("as  it was", {word("as", 0, 2)}, scoring()), unchanged);
}

TEST_F(RescoringPassTest, AnUntouchedTranscriptIsRebuiltFromItsWords) {
    rows = ctc::rowsSaying("ok", 10, 40);
    EXPECT_EQ(termCentric(rescorer({term("Kubernetes")}), {word("nothing", 2, 6), word("here", 7, 9)}, "nothing  here"),
              (Output{.text = "nothing here", .replacements = {}, .wasModified = false}));
}

TEST_F(RescoringPassTest, ATermSplitAcrossTwoWordsIsJoined) {
    // "tessel" reaches 0.6, "ate" 0.3, their join "tesselate" 0.9.
    rows = ctc::rowsSaying("tessellate", 10, 40);
    const auto output = termCentric(rescorer({term("Tessellate")}), {word("tessel", 10, 17), word("ate", 17, 21)});
    EXPECT_EQ(output.text, "Tessellate");
    ASSERT_EQ(output.replacements.size(), 1u);
    EXPECT_EQ(output.replacements[0].originalWord, "tessel ate");
    EXPECT_TRUE(output.replacements[0].reason.starts_with("CTC-vs-CTC (multi-word): 'Tessellate'="));
}

TEST_F(RescoringPassTest, AMultiWordTermReplacesASimilarPhrase) {
    rows = ctc::rowsSaying("new york city", 10, 40);
    const auto output =
        termCentric(rescorer({term("New York")}), {word("knew", 10, 14), word("york", 14, 19), word("city", 19, 24)});
    EXPECT_EQ(output.text, "New York city");
    EXPECT_EQ(output.replacements.at(0).originalWord, "knew york");
}

TEST_F(RescoringPassTest, AnAliasIsReplacedByTheTermsOwnText) {
    rows = ctc::rowsSaying("kubernetes", 10, 40);
    const auto output = termCentric(rescorer({term("Kubernetes", {{"kates"}})}), {word("kates", 10, 22)});
    EXPECT_EQ(output.text, "Kubernetes");
}

TEST_F(RescoringPassTest, WordsThatAlreadyReadAsATermOrAsAStopWordStay) {
    rows = ctc::rowsSaying("kubernetes", 10, 40);
    EXPECT_FALSE(
        termCentric(rescorer({term("Kubernetes"), term("Cabernets")}), {word("cabernets", 10, 22)}).wasModified);
    rows = ctc::rowsSaying("theo", 10, 40);
    EXPECT_FALSE(termCentric(rescorer({term("Theo")}), {word("the", 10, 15)}).wasModified);
}

TEST_F(RescoringPassTest, TheSpotterRescuesAWordTooUnlikeTheTermInASmallVocabulary) {
    // "netties" is too unlike "kubernetes" for the text search; the spotter hears the term under it.
    rows = ctc::rowsSaying("kubernetes", 10, 40);
    const std::vector<WordTiming> words{word("run", 2, 8), word("netties.", 10, 22)};
    const auto output = termCentric(rescorer({term("Kubernetes")}), words);
    EXPECT_EQ(output.text, "run Kubernetes.");

    EXPECT_FALSE(termCentric(rescorer({term("Kubernetes")}, {.spotterRescueEnabled = false}), words).wasModified);
    std::vector<CustomVocabularyTerm> eleven{term("Kubernetes")};
    for (const char* filler :
         {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel", "india", "juliet"}) {
        eleven.push_back(term(filler));
    }
    EXPECT_FALSE(termCentric(rescorer(eleven), words).wasModified);
    eleven.pop_back();
    EXPECT_EQ(termCentric(rescorer(eleven), words).text, "run Kubernetes.");
}

TEST_F(RescoringPassTest, TheWordCentricPassEvaluatesTheCandidatesOfEveryWord) {
    rows = ctc::rowsSaying("kubernetes", 10, 40);
    const std::vector<CustomVocabularyTerm> terms{term("Kubernetes"), term("Postgres")};
    const auto made =
        VocabularyRescorer::create(CtcKeywordSpotter(CtcModels{}, ctc::blankId), {.terms = terms}, {}, folder.path());
    const VocabularyRescorer withTree({.spotter = made.spotter(),
                                       .vocabulary = made.vocabulary(),
                                       .ctcTokenizer = made.ctcTokenizer(),
                                       .useBKTree = true,
                                       .bkTree = BKTree(terms),
                                       .bkTreeMaxDistance = 3,
                                       .config = {}});
    const std::vector<TokenTiming> tokens{
        {.token = "\u2581we", .startTime = 0.1, .endTime = 0.4},
        {.token = "\u2581kuber", .startTime = 0.8, .endTime = 1.2},
        {.token = "netis", .startTime = 1.2, .endTime = 1.76},
    };
    const auto output = withTree.ctcTokenRescore("we kubernetis", tokens, scoring());
    EXPECT_EQ(output.text, "we Kubernetes");
    EXPECT_EQ(output.replacements.at(0).originalWord, "kubernetis");
}

TEST(SpotterAnchoredRescueTest, WordsUnderADetection) {
    const std::vector<WordTiming> words{{"a", 0.0, 0.5}, {"b", 0.5, 1.25}, {"c", 1.5, 2.0}, {"d", 2.5, 3.0}};
    const struct {
        double start;
        double end;
        std::vector<std::int64_t> indices;
    } cases[] = {
        {1.25, 1.5, {1, 2}}, // touching ends count
        {2.3, 2.45, {3}},    // in a pause: the word whose middle is nearest
        {2.125, 2.375, {2}}, // equally near: the earlier word
        {0.0, 3.0, {0, 1, 2, 3}}, {1.0, 1.0, {}},
    };
    for (const auto& [start, end, indices] : cases) {
        EXPECT_EQ(rescoring::wordIndices(words, start, end), indices) << start << "-" << end;
    }
    EXPECT_TRUE(rescoring::wordIndices({}, 0.0, 1.0).empty());
    // Out-of-order times: the run stops at the first gap.
    const std::vector<WordTiming> shuffled{{"a", 0.0, 0.5}, {"b", 5.0, 6.0}, {"c", 0.4, 0.9}};
    EXPECT_EQ(rescoring::wordIndices(shuffled, 0.2, 0.8), (std::vector<std::int64_t>{0}));
}

TEST(VocabularyRescoringEndToEndTest, AHeardTermReplacesItsMisspellingAndNothingElseChanges) {
    testsupport::TemporaryFolder folder;
    ctc::writeTokenizer(folder.path());
    // The first prediction hears "we run kubernetes." with the term from frame 20; the second hears "cabernets"
    // there instead.
    const ctc::ScriptedCtcModels models(folder.path(), "rescoring-e2e", [](std::size_t call) {
        return ctc::Utterance{.text = call == 0 ? "we run kubernetes." : "we run cabernets.", .leadingBlanks = 13};
    });
    const CtcKeywordSpotter spotter(models.models(), ctc::blankId);
    const CustomVocabularyContext vocabulary{.terms = {term("Kubernetes")}};
    const auto rescorer = VocabularyRescorer::create(spotter, vocabulary, {}, folder.path());
    // A batch transcript "we run cabernets." over 15 s of audio.
    const std::vector<TokenTiming> tokens{
        {.token = "\u2581we", .startTime = 1.04, .endTime = 1.28},
        {.token = "\u2581run", .startTime = 1.28, .endTime = 1.6},
        {.token = "\u2581cab", .startTime = 1.6, .endTime = 1.9},
        {.token = "er", .startTime = 1.9, .endTime = 2.1},
        {.token = "nets", .startTime = 2.1, .endTime = 2.4},
        {.token = ".", .startTime = 2.4, .endTime = 2.5},
    };
    const std::vector<float> audio(240000, 0.1f);

    const auto heard = spotter.spotKeywordsWithLogProbs(audio, vocabulary, std::nullopt);
    ASSERT_EQ(heard.detections.size(), 1u);
    EXPECT_EQ(heard.detections[0].startFrame, 20);
    const auto rescored = rescorer.ctcTokenRescore("we run cabernets.", tokens,
                                                   {.logProbs = heard.logProbs,
                                                    .frameDuration = heard.frameDuration,
                                                    .cbw = 4.5f,
                                                    .marginSeconds = 0.5,
                                                    .minSimilarity = 0.5f});
    EXPECT_EQ(rescored.text, "we run Kubernetes.");
    EXPECT_TRUE(rescored.wasModified);
    ASSERT_EQ(rescored.replacements.size(), 1u);
    EXPECT_EQ(rescored.replacements[0].originalWord, "cabernets.");
    EXPECT_EQ(rescored.replacements[0].replacementWord, "Kubernetes");

    const auto unheard = spotter.spotKeywordsWithLogProbs(audio, vocabulary, std::nullopt);
    const auto kept = rescorer.ctcTokenRescore("we run cabernets.", tokens,
                                               {.logProbs = unheard.logProbs,
                                                .frameDuration = unheard.frameDuration,
                                                .cbw = 4.5f,
                                                .marginSeconds = 0.5,
                                                .minSimilarity = 0.5f});
    EXPECT_EQ(kept, (Output{.text = "we run cabernets.", .replacements = {}, .wasModified = false}));
    EXPECT_EQ(models.predictions(), 2u);
}

} // namespace
} // namespace quorl
