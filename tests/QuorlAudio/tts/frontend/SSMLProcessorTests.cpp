#include "QuorlAudio/tts/frontend/SSMLProcessor.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

using Texts = std::vector<std::string>;

TEST(SSMLProcessorTests, ReplacesSubAndSayAsElementsAndLeavesOtherMarkup) {
    const struct {
        std::string name;
        std::string text;
        std::string expected;
    } cases[] = {
        {"no markup", "Plain 42 text & more", "Plain 42 text & more"},
        {"other elements stay", "<speak>Hi <break time=\"1s\"/> there</speak>",
         "<speak>Hi <break time=\"1s\"/> there</speak>"},
        {"sub", "The <sub alias=\"World Wide Web\">WWW</sub> site", "The World Wide Web site"},
        {"sub in any letter case", "<SUB ALIAS='gee'>g</Sub>", "gee"},
        {"sub without attributes", "<sub>WWW</sub>", "<sub>WWW</sub>"},
        {"sub without an alias", "<sub title=\"x\">WWW</sub>", "<sub title=\"x\">WWW</sub>"},
        {"phoneme without ph", "<phoneme alphabet=\"ipa\">x</phoneme>", "<phoneme alphabet=\"ipa\">x</phoneme>"},
        {"say-as date, not de-hyphenated", "On <say-as interpret-as=\"date\" format=\"dmy\">25/12/2024</say-as>.",
         "On twenty-fifth December twenty twenty-four."},
        {"quotes of either kind, unmatched too", "<say-as interpret-as='cardinal\">7</say-as>", "seven"},
        {"say-as inside sub: the sub stays", "<sub alias=\"x\"><say-as interpret-as=\"cardinal\">5</say-as></sub>",
         "<sub alias=\"x\">five</sub>"},
        {"an element ending inside a character stays", "<sub alias=\"x\">y</sub>\u0301",
         "<sub alias=\"x\">y</sub>\u0301"},
    };
    for (const auto& c : cases) {
        const SSMLProcessingResult result = SSMLProcessor::process(c.text);
        EXPECT_EQ(result.text, c.expected) << c.name;
        EXPECT_TRUE(result.phoneticOverrides.empty()) << c.name;
    }
}

TEST(SSMLProcessorTests, APhonemeElementGivesItsPronunciationForItsWord) {
    const SSMLProcessingResult result =
        SSMLProcessor::process("I say <PHONEME alphabet=\"ipa\" ph=\" t\u0259 m\u0251\t to \"> tomato </phoneme>!");
    EXPECT_EQ(result.text, "I say  tomato !");
    ASSERT_EQ(result.phoneticOverrides.size(), 1u);
    const TtsPhoneticOverride& phonetic = result.phoneticOverrides.front();
    EXPECT_EQ(phonetic.wordIndex, 2);
    EXPECT_EQ(phonetic.tokens, (Texts{"t\u0259", "m\u0251\t", "to"}));
    EXPECT_EQ(phonetic.scalarTokens, (Texts{" ", "t", "\u0259", " ", "m", "\u0251", "\t", " ", "t", "o", " "}));
    EXPECT_EQ(phonetic.raw, " t\u0259 m\u0251\t to ");
    EXPECT_EQ(phonetic.word, "tomato");
}

TEST(SSMLProcessorTests, APhonemeValueWithoutBlanksIsOneTokenAndAnEmptyOneHasNoScalars) {
    const struct {
        std::string ph;
        Texts tokens;
        Texts scalarTokens;
    } cases[] = {
        {"t\u0259m\u0251to", {"t\u0259m\u0251to"}, {"t", "\u0259", "m", "\u0251", "t", "o"}},
        {"a\tb", {"a\tb"}, {"a", "\t", "b"}},
        {"", {""}, {}},
    };
    for (const auto& c : cases) {
        const SSMLProcessingResult result = SSMLProcessor::process("<phoneme ph='" + c.ph + "'>w</phoneme>");
        ASSERT_EQ(result.phoneticOverrides.size(), 1u) << c.ph;
        EXPECT_EQ(result.phoneticOverrides[0].tokens, c.tokens) << c.ph;
        EXPECT_EQ(result.phoneticOverrides[0].scalarTokens, c.scalarTokens) << c.ph;
    }
}

// The index counts the words of the returned text before the element, so the elements to its left count by
// what replaced them, not by their markup.
TEST(SSMLProcessorTests, EachOverridePointsAtItsOwnWordOfTheReturnedText) {
    const SSMLProcessingResult result =
        SSMLProcessor::process("<phoneme ph=\"w\u028Cn\">one</phoneme> and <sub alias=\"World Wide Web\">WWW</sub> "
                               "<phoneme ph=\"tu\">two</phoneme> end");
    EXPECT_EQ(result.text, "one and World Wide Web two end");
    ASSERT_EQ(result.phoneticOverrides.size(), 2u);
    EXPECT_EQ(result.phoneticOverrides[0].word, "one");
    EXPECT_EQ(result.phoneticOverrides[0].wordIndex, 0);
    EXPECT_EQ(result.phoneticOverrides[1].word, "two");
    EXPECT_EQ(result.phoneticOverrides[1].wordIndex, 5);
}

TEST(SSMLProcessorTests, AdjacentElementsShareAnIndexTheLaterOneFirst) {
    const SSMLProcessingResult result =
        SSMLProcessor::process("go <phoneme ph=\"a\">x</phoneme><phoneme ph=\"b\">y</phoneme>");
    EXPECT_EQ(result.text, "go xy");
    ASSERT_EQ(result.phoneticOverrides.size(), 2u);
    EXPECT_EQ(result.phoneticOverrides[0].raw, "b");
    EXPECT_EQ(result.phoneticOverrides[1].raw, "a");
    EXPECT_EQ(result.phoneticOverrides[0].wordIndex, 1);
    EXPECT_EQ(result.phoneticOverrides[1].wordIndex, 1);
}

TEST(SSMLProcessorTests, WordsEndAtCharactersThatAreNotLettersNumbersApostrophesOrEmoji) {
    const struct {
        std::string before;
        int wordIndex;
    } cases[] = {
        {"", 0},
        {"say", 0},
        {"one two ", 2},
        {"rock\U0001F600roll ", 1},
        {"a#b*c ", 1},
        {"don\u02BCt go ", 2},
        {"don't go ", 2},
        {"don\u2019t go ", 3},
        {"\u0663\u0664 caf\u00E9 ", 2},
        {"e\u0301 x ", 2},
        {"-- ... ", 0},
    };
    for (const auto& c : cases) {
        const SSMLProcessingResult result = SSMLProcessor::process(c.before + "<phoneme ph=\"p\">w</phoneme>");
        ASSERT_EQ(result.phoneticOverrides.size(), 1u) << c.before;
        EXPECT_EQ(result.phoneticOverrides[0].wordIndex, c.wordIndex) << c.before;
    }
}

} // namespace
} // namespace quorl
