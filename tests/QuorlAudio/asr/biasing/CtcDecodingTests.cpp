#include "QuorlAudio/asr/biasing/ARPALanguageModel.hpp"
#include "QuorlAudio/asr/biasing/CtcBeam.hpp"
#include "QuorlAudio/asr/biasing/CtcBeamSearch.hpp"
#include "QuorlAudio/asr/biasing/CtcDecoding.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

constexpr float minusInfinity = -std::numeric_limits<float>::infinity();

// One frame of `size` values: the natural log of each listed probability, a negligible one elsewhere.
std::vector<float> frame(std::size_t size, const std::map<int, float>& probabilities) {
    std::vector<float> values(size, std::log(1e-6F));
    for (const auto& [id, probability] : probabilities) {
        values[static_cast<std::size_t>(id)] = std::log(probability);
    }
    return values;
}

// Frames whose arg-max follows the ids.
CtcLogProbs argMaxFrames(std::size_t size, const std::vector<int>& ids) {
    CtcLogProbs frames;
    for (const int id : ids) {
        frames.push_back(frame(size, {{id, 0.9F}}));
    }
    return frames;
}

std::shared_ptr<platform::ml::MultiArray> asArray(const CtcLogProbs& frames) {
    std::vector<double> values;
    for (const auto& frame : frames) {
        values.insert(values.end(), frame.begin(), frame.end());
    }
    return testsupport::makeArray({1, frames.size(), frames.front().size()}, values);
}

TEST(CtcDecodingTest, TokenIdsBecomeTextWithSpacesAtWordStarts) {
    const CtcVocabulary vocabulary{{0, "\u2581he"}, {1, "llo"}, {2, "\u2581world"}, {3, "\u2581"}, {4, "\u2581\t"}};

    EXPECT_EQ(decodeCtcTokenIds({0, 1, 2}, vocabulary), "hello world");
    EXPECT_EQ(decodeCtcTokenIds({0, 99, 1}, vocabulary), "hello");
    EXPECT_EQ(decodeCtcTokenIds({3, 4, 3}, vocabulary), "");
    EXPECT_EQ(decodeCtcTokenIds({}, vocabulary), "");
}

TEST(CtcDecodingTest, LogAddExpIsExactAtMinusInfinity) {
    EXPECT_EQ(logAddExp(minusInfinity, -2.5F), -2.5F);
    EXPECT_EQ(logAddExp(-2.5F, minusInfinity), -2.5F);
    EXPECT_EQ(logAddExp(minusInfinity, minusInfinity), minusInfinity);
    EXPECT_NEAR(logAddExp(std::log(0.25F), std::log(0.5F)), std::log(0.75F), 1e-6F);
    EXPECT_NEAR(logAddExp(-1000.0F, -1000.0F), -1000.0F + std::log(2.0F), 1e-3F);
}

TEST(CtcDecodingTest, GreedyDecodingCollapsesRepeatsAndDropsBlanks) {
    const CtcVocabulary vocabulary{{0, "\u2581a"}, {1, "b"}};
    constexpr int blank = 2;
    struct Case {
        const char* name;
        CtcLogProbs frames;
        std::string text;
        bool fitsAnArray = true;
    };
    const std::vector<Case> cases{
        {"a blank between repeats keeps both", argMaxFrames(3, {0, 0, blank, 0, 1, 1}), "a ab"},
        {"repeats merge", argMaxFrames(3, {0, 0, 1}), "ab"},
        {"ties take the lower id", {{-1.0F, -1.0F, -2.0F}}, "a"},
        {"an empty frame changes nothing", {{0.0F, -5, -5}, {}, {0.0F, -5, -5}}, "a", false},
        {"no frames", {}, "", false},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(ctcGreedyDecode(test.frames, vocabulary, blank), test.text) << test.name;
        if (test.fitsAnArray) {
            EXPECT_EQ(ctcGreedyDecode(*asArray(test.frames), vocabulary, blank), test.text) << test.name;
        }
    }
}

TEST(CtcDecodingTest, ArraysMustBeThreeDimensionalFloats) {
    const CtcVocabulary vocabulary{{0, "a"}};
    const auto flat = testsupport::makeArray({2, 2}, {0, -1, -1, 0});
    const auto doubles = testsupport::makeArray({1, 1, 2}, {0, -1}, platform::ml::DataType::float64);
    const CtcBeamSearchConfig config{.beamWidth = 2, .blankId = 1, .tokenCandidates = 1};
    EXPECT_THROW(ctcGreedyDecode(*flat, vocabulary, 1), platform::ml::ModelError);
    EXPECT_THROW(ctcGreedyDecode(*doubles, vocabulary, 1), platform::ml::ModelError);
    EXPECT_THROW(ctcBeamSearch(*flat, vocabulary, config), platform::ml::ModelError);
    EXPECT_EQ(ctcGreedyDecode(*testsupport::makeArray({0, 3, 2}, {}), vocabulary, 1), "");
}

// Pieces of a small sentence-piece vocabulary; the blank is the last id.
const CtcVocabulary words{{0, "\u2581the"}, {1, "\u2581cat"}, {2, "\u2581cap"}, {3, "\u2581sat"},
                          {4, "\u2581"},    {5, "ca"},        {6, "t"},         {7, "p"}};
constexpr int wordsBlank = 8;
constexpr std::size_t wordsSize = 9;

// "the", then "cap" a little likelier than "cat", then, when asked, "sat".
CtcLogProbs theCapOrCat(bool thenSat) {
    CtcLogProbs frames{frame(wordsSize, {{0, 0.98F}}), frame(wordsSize, {{wordsBlank, 0.98F}}),
                       frame(wordsSize, {{2, 0.55F}, {1, 0.43F}}), frame(wordsSize, {{wordsBlank, 0.98F}})};
    if (thenSat) {
        frames.push_back(frame(wordsSize, {{3, 0.98F}}));
    }
    return frames;
}

// The same word spelt "▁" "ca" "p" or "▁" "ca" "t", the "p" a little likelier.
CtcLogProbs spelledCapOrCat() {
    return {frame(wordsSize, {{4, 0.98F}}), frame(wordsSize, {{5, 0.98F}}), frame(wordsSize, {{7, 0.55F}, {6, 0.43F}})};
}

// Knows "cat" after "the" and prefers "cat" to "cap" on its own.
ARPALanguageModel catModel() {
    ARPALanguageModel model;
    model.unigrams = {{"the", {-1, -0.5F}}, {"cat", {-2, 0}}, {"cap", {-4, 0}}, {"sat", {-1, 0}}};
    model.bigrams = {{"the", {{"cat", {-0.1F, 0}}}}};
    return model;
}

TEST(CtcBeamSearchTest, FindsWhatTheSearchOverPrefixesPrefers) {
    const CtcVocabulary letters{{0, "a"}, {1, "b"}};
    const auto model = catModel();
    const CtcBeamSearchConfig wide{.beamWidth = 8, .blankId = 2, .tokenCandidates = 2};
    struct Case {
        const char* name;
        CtcLogProbs frames;
        const CtcVocabulary& vocabulary;
        CtcBeamSearchConfig config;
        std::string text;
    };
    const std::vector<Case> cases{
        {"no frames", {}, letters, wide, ""},
        {"an empty first frame", {{}, {0, -1, -1}}, letters, wide, ""},
        {"beam width 0", argMaxFrames(3, {0, 1}), letters, {.beamWidth = 0, .blankId = 2, .tokenCandidates = 2}, ""},
        {"no token candidates", argMaxFrames(3, {0, 1}), letters, {.beamWidth = 8, .blankId = 2}, ""},
        {"negative widths count as 0",
         argMaxFrames(3, {0}),
         letters,
         {.beamWidth = -1, .blankId = 2, .tokenCandidates = -3},
         ""},
        // Blank at 0.6 in both frames: best path says nothing, the prefixes say "a" (0.64 against 0.36).
        {"prefix probability beats the best path",
         {frame(2, {{0, 0.4F}, {1, 0.6F}}), frame(2, {{0, 0.4F}, {1, 0.6F}})},
         letters,
         {.beamWidth = 2, .blankId = 1, .tokenCandidates = 1},
         "a"},
        {"pruning to one hypothesis keeps the best path",
         {frame(2, {{0, 0.4F}, {1, 0.6F}}), frame(2, {{0, 0.4F}, {1, 0.6F}})},
         letters,
         {.beamWidth = 1, .blankId = 1, .tokenCandidates = 1},
         ""},
        // "b" gathers 0.4725 over its alignments against 0.45 for "ab", but only when "b" is expanded first.
        {"all candidates",
         {frame(3, {{0, 0.5F}, {1, 0.45F}, {2, 0.05F}}), frame(3, {{0, 0.05F}, {1, 0.9F}, {2, 0.05F}})},
         letters,
         wide,
         "b"},
        {"only the top candidate",
         {frame(3, {{0, 0.5F}, {1, 0.45F}, {2, 0.05F}}), frame(3, {{0, 0.05F}, {1, 0.9F}, {2, 0.05F}})},
         letters,
         {.beamWidth = 8, .blankId = 2, .tokenCandidates = 1},
         "ab"},
        {"a repeat without a blank extends the prefix", argMaxFrames(3, {0, 0}), letters, wide, "a"},
        {"a repeat after a blank is a new token", argMaxFrames(3, {0, 2, 0}), letters, wide, "aa"},
        // Without a blank "aa" cannot be written; every id is a candidate.
        {"a blank id outside the frame is impossible",
         {frame(2, {{0, 0.6F}, {1, 0.4F}}), frame(2, {{0, 0.6F}, {1, 0.4F}})},
         letters,
         {.beamWidth = 8, .blankId = 7, .tokenCandidates = 1},
         "a"},
        {"a negative blank id is impossible too",
         argMaxFrames(2, {1, 1}),
         letters,
         {.beamWidth = 8, .blankId = -1, .tokenCandidates = 2},
         "b"},
        {"acoustics alone",
         theCapOrCat(true),
         words,
         {.beamWidth = 8, .blankId = wordsBlank, .tokenCandidates = 3},
         "the cap sat"},
        {"bonus and weight change nothing without a model",
         theCapOrCat(true),
         words,
         {.beamWidth = 8, .lmWeight = 5, .wordBonus = 9, .blankId = wordsBlank, .tokenCandidates = 3},
         "the cap sat"},
        {"the model scores a word when the next begins",
         theCapOrCat(true),
         words,
         {.lm = &model, .beamWidth = 8, .lmWeight = 1, .blankId = wordsBlank, .tokenCandidates = 3},
         "the cat sat"},
        {"the model scores the last word at the end",
         theCapOrCat(false),
         words,
         {.lm = &model, .beamWidth = 8, .lmWeight = 1, .blankId = wordsBlank, .tokenCandidates = 3},
         "the cat"},
        {"weight 0 leaves the acoustics",
         theCapOrCat(false),
         words,
         {.lm = &model, .beamWidth = 8, .lmWeight = 0, .blankId = wordsBlank, .tokenCandidates = 3},
         "the cap"},
        {"a lone marker starts a word spelt in pieces",
         spelledCapOrCat(),
         words,
         {.lm = &model, .beamWidth = 8, .lmWeight = 1, .blankId = wordsBlank, .tokenCandidates = 3},
         "cat"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(ctcBeamSearch(test.frames, test.vocabulary, test.config), test.text) << test.name;
        if (!test.frames.empty() && !test.frames.front().empty()) {
            EXPECT_EQ(ctcBeamSearch(*asArray(test.frames), test.vocabulary, test.config), test.text) << test.name;
        }
    }
}

TEST(CtcBeamSearchTest, TheWordBonusRewardsEveryScoredWord) {
    const CtcVocabulary vocabulary{{0, "\u2581a"}, {1, "b"}, {2, "\u2581b"}};
    // "b" joining the word is a little likelier than "▁b" starting a second one.
    const CtcLogProbs frames{frame(4, {{0, 0.98F}}), frame(4, {{1, 0.5F}, {2, 0.45F}})};
    const ARPALanguageModel model;
    const auto search = [&](float wordBonus) {
        return ctcBeamSearch(
            frames, vocabulary,
            {.lm = &model, .beamWidth = 4, .wordBonus = wordBonus, .blankId = 3, .tokenCandidates = 3});
    };
    EXPECT_EQ(search(0), "ab");
    EXPECT_EQ(search(1), "a b");
}

TEST(CtcBeamSearchTest, AFrameShorterThanTheFirstIsRefused) {
    const CtcVocabulary vocabulary{{0, "a"}};
    const CtcLogProbs frames{{0, -1, -2}, {0, -1}};
    EXPECT_THROW(ctcBeamSearch(frames, vocabulary, {.beamWidth = 2, .blankId = 2, .tokenCandidates = 2}),
                 std::invalid_argument);
}

} // namespace
} // namespace quorl
