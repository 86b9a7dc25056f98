#include "QuorlAudio/tts/styletts2/StyleTTS2TextCleaner.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Ids = std::vector<std::int32_t>;

TEST(StyleTTS2TextCleanerTest, HasTheSymbolsInTheirOrder) {
    const auto& symbols = StyleTTS2TextCleaner::symbols();
    ASSERT_EQ(StyleTTS2TextCleaner::vocabularySize(), 177);
    ASSERT_EQ(symbols.size(), 177U);
    EXPECT_EQ(StyleTTS2TextCleaner::dictionary().size(), 177U);
    EXPECT_EQ(symbols[0], "$");
    EXPECT_EQ(symbols[1], ";");
    EXPECT_EQ(symbols[16], " ");
    EXPECT_EQ(symbols[17], "A");
    EXPECT_EQ(symbols[68], "z");
    EXPECT_EQ(symbols[69], "\u0251");
    EXPECT_EQ(symbols[156], "\u02C8");
    EXPECT_EQ(symbols[174], "'\u0329");
    EXPECT_EQ(symbols[176], "\u1D7B");
}

TEST(StyleTTS2TextCleanerTest, EncodesCharactersAndDropsWhatIsNoSymbol) {
    const struct {
        const char* name;
        std::string text;
        bool prependPad;
        Ids ids;
    } cases[] = {
        {"empty", "", true, {0}},
        {"empty without pad", "", false, {}},
        {"space", " ", true, {0, 16}},
        {"apostrophe with vertical line below", "'\u0329", true, {0, 174}},
        {"plain apostrophe", "'", true, {0, 175}},
        {"barred i", "\u1D7B", true, {0, 176}},
        {"schwa word", "h\u0259", true, {0, 50, 83}},
        {"accented letter dropped", "h\u00E9\u0259", true, {0, 50, 83}},
        {"punctuation", ";\u2014\u201D", false, {1, 9, 15}},
        {"decomposed c cedilla", "c\u0327", false, {78}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(StyleTTS2TextCleaner::encode(testCase.text, testCase.prependPad), testCase.ids) << testCase.name;
    }
}

} // namespace
} // namespace quorl
