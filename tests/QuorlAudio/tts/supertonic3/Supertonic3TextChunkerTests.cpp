#include "QuorlAudio/tts/supertonic3/Supertonic3TextChunker.hpp"

#include "platform/text/GraphemeClusters.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

using Chunks = std::vector<std::string>;
using platform::text::characterCount;
using Supertonic3TextChunker::chunk;

constexpr int latinLimit = 70;

std::string repeated(const std::string& piece, int times) {
    std::string text;
    for (int index = 0; index < times; ++index) {
        text += piece;
    }
    return text;
}

TEST(Supertonic3TextChunkerTests, SplitsAtParagraphsAndKeepsAShortParagraphWhole) {
    const std::string first = "We went out early in the morning.";
    const std::string seventy = first + " It rained on the way back home, too.";
    const std::string seventyOne = first + " It rained on the way back home again.";
    ASSERT_EQ(characterCount(seventy), 70U);
    ASSERT_EQ(characterCount(seventyOne), 71U);
    const std::string combiningSeventy = repeated("e\u0301", 70);

    const struct {
        std::string name;
        std::string text;
        Chunks expected;
    } cases[] = {
        {"empty", "", {}},
        {"white space only", " \n\t\n ", {}},
        {"seventy characters stay one chunk", seventy, {seventy}},
        {"seventy-one are packed by sentences", seventyOne, {first, "It rained on the way back home again."}},
        {"characters, not scalars, are counted", combiningSeventy, {combiningSeventy}},
        {"blank lines part paragraphs", "A.\n\n\nB.", {"A.", "B."}},
        {"white space between the line breaks", "  A. \n \t \nB.  ", {"A.", "B."}},
        {"one line break does not", "A.\nB.", {"A.\nB."}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chunk(c.text, latinLimit), c.expected) << c.name;
    }
}

TEST(Supertonic3TextChunkerTests, PacksLongParagraphsBySentencesCommasAndWords) {
    const std::string words = "The quick brown fox jumps over the lazy dog and then it keeps on running so far.";
    ASSERT_EQ(characterCount(words), 80U);
    const std::string commas = "part a xy, part b xy, part c xy, part d xy, part e xy, part f xy, part g x.";
    ASSERT_EQ(characterCount(commas), 75U);
    const std::string longWord = repeated("w", 75);

    const struct {
        std::string name;
        std::string text;
        Chunks expected;
    } cases[] = {
        {"titles end no sentence",
         "Mr. Smith met Dr. Jones. They talked for a long while about the weather and the news.",
         {"Mr. Smith met Dr. Jones.", "They talked for a long while about the weather and the news."}},
        {"short sentences share a chunk",
         "One. Two! Three? They talked for a long while about the weather and all of the news.",
         {"One. Two! Three?", "They talked for a long while about the weather and all of the news."}},
        {"words kept whole",
         words,
         {"The quick brown fox jumps over the lazy dog and then it keeps on", "running so far."}},
        {"the comma where a chunk ends is dropped",
         commas,
         {"part a xy, part b xy, part c xy, part d xy, part e xy, part f xy", "part g x."}},
        {"an over-long word is a chunk of its own", "Say " + longWord + " now.", {"Say", longWord, "now."}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chunk(c.text, latinLimit), c.expected) << c.name;
    }
}

TEST(Supertonic3TextChunkerTests, AbbreviationsAreCaseSensitiveSuffixesOfTheRunSinceTheLastCut) {
    EXPECT_EQ(chunk("I live on Main St. Next to the bakery by the old bridge.", 30),
              (Chunks{"I live on Main St. Next to the", "bakery by the old bridge."}));
    EXPECT_EQ(chunk("It was the first. Then we rested.", 30), (Chunks{"It was the first.", "Then we rested."}));
}

} // namespace
} // namespace quorl
