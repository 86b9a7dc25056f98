#include "platform/text/CharacterProperties.hpp"

#include <gtest/gtest.h>

namespace platform::text {
namespace {

TEST(CharacterPropertiesTests, EachScalarHasItsOwnProperties) {
    const struct {
        char32_t scalar;
        bool numeric;
        bool alphabetic;
        bool whiteSpace;
        bool emoji;
        bool emojiPresentation;
    } cases[] = {
        {U'7', true, false, false, true, false},
        {U'\u0663', true, false, false, false, false}, // Arabic-Indic digit three
        {U'\u00B2', true, false, false, false, false}, // superscript two
        {U'\u00BD', true, false, false, false, false}, // vulgar fraction one half
        {U'a', false, true, false, false, false},
        {U'\u00C9', false, true, false, false, false},
        {U'\u02BC', false, true, false, false, false},  // modifier letter apostrophe
        {U'\u0301', false, false, false, false, false}, // combining acute accent
        {U'\u2019', false, false, false, false, false}, // right single quotation mark
        {U' ', false, false, true, false, false},
        {U'\t', false, false, true, false, false},
        {U'\n', false, false, true, false, false},
        {U'\u00A0', false, false, true, false, false},
        {U'#', false, false, false, true, false},
        {U'*', false, false, false, true, false},
        {U'\u00A9', false, false, false, true, false}, // copyright sign, text presentation by default
        {U'\U0001F600', false, false, false, true, true},
        {char32_t{0xD800}, false, false, false, false, false},
        {char32_t{0x110000}, false, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<unsigned>(c.scalar));
        EXPECT_EQ(hasNumericType(c.scalar), c.numeric);
        EXPECT_EQ(isAlphabetic(c.scalar), c.alphabetic);
        EXPECT_EQ(isWhiteSpace(c.scalar), c.whiteSpace);
        EXPECT_EQ(isEmoji(c.scalar), c.emoji);
        EXPECT_EQ(isEmojiPresentation(c.scalar), c.emojiPresentation);
    }
}

TEST(CharacterPropertiesTests, NumericValueOfNumbersOnly) {
    EXPECT_EQ(numericValue(U'7'), 7.0);
    EXPECT_EQ(numericValue(U'\u0663'), 3.0); // Arabic-Indic digit three
    EXPECT_EQ(numericValue(U'\u00BD'), 0.5); // vulgar fraction one half
    EXPECT_EQ(numericValue(U'\u4E94'), 5.0); // 五
    EXPECT_EQ(numericValue(U'a'), std::nullopt);
    EXPECT_EQ(numericValue(char32_t{0x110000}), std::nullopt);
}

} // namespace
} // namespace platform::text
