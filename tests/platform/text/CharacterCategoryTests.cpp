#include "platform/text/CharacterCategory.hpp"

#include <gtest/gtest.h>

namespace platform::text {
namespace {

TEST(CharacterCategoryTests, EachScalarBelongsToItsGeneralCategoryOnly) {
    enum class Category { punctuation, symbol, letter, other };
    const struct {
        char32_t scalar;
        Category category;
    } cases[] = {
        {U'_', Category::punctuation},      // Pc
        {U'\u2014', Category::punctuation}, // Pd, em dash
        {U'(', Category::punctuation},      // Ps
        {U')', Category::punctuation},      // Pe
        {U'\u00AB', Category::punctuation}, // Pi
        {U'\u00BB', Category::punctuation}, // Pf
        {U'.', Category::punctuation},      // Po
        {U'\u00BF', Category::punctuation}, // Po, inverted question mark
        {U'+', Category::symbol},           // Sm
        {U'$', Category::symbol},           // Sc
        {U'\u20AC', Category::symbol},      // Sc, euro sign
        {U'^', Category::symbol},           // Sk
        {U'\u00A9', Category::symbol},      // So
        {U'\u2581', Category::symbol},      // So, the word-piece marker
        {U'\U0001F600', Category::symbol},  // So, outside the basic plane
        {U'a', Category::letter},           // Ll
        {U'\u00C9', Category::letter},      // Lu
        {U'\u01C5', Category::letter},      // Lt
        {U'\u02B0', Category::letter},      // Lm
        {U'\u4E2D', Category::letter},      // Lo
        {U'1', Category::other},
        {U' ', Category::other},
        {U'\u0301', Category::other}, // Mn, combining acute accent
        {U'\n', Category::other},
        {char32_t{0xD800}, Category::other},
        {char32_t{0x110000}, Category::other},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(static_cast<unsigned>(testCase.scalar));
        EXPECT_EQ(isPunctuation(testCase.scalar), testCase.category == Category::punctuation);
        EXPECT_EQ(isSymbol(testCase.scalar), testCase.category == Category::symbol);
        EXPECT_EQ(isLetter(testCase.scalar), testCase.category == Category::letter);
    }
}

TEST(CharacterCategoryTests, MarksDigitsSpacesAndControlsHaveTheirOwnTests) {
    const struct {
        char32_t scalar;
        bool mark, decimalDigit, alphanumeric, spaceSeparator, controlOrFormat;
    } cases[] = {
        {U'a', false, false, true, false, false},
        {U'\u0301', true, false, true, false, false}, // Mn
        {U'\u0903', true, false, true, false, false}, // Mc
        {U'7', false, true, true, false, false},
        {U'\u0663', false, true, true, false, false},  // Arabic-Indic three
        {U'\u00BD', false, false, true, false, false}, // No, one half
        {U'\u2167', false, false, true, false, false}, // Nl, Roman numeral eight
        {U' ', false, false, false, true, false},
        {U'\u00A0', false, false, false, true, false},
        {U'\t', false, false, false, false, true},     // Cc
        {U'\u200B', false, false, false, false, true}, // Cf, zero-width space
        {U'\uFEFF', false, false, false, false, true}, // Cf, byte-order mark
        {U'-', false, false, false, false, false},
        {char32_t{0x110000}, false, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<unsigned>(c.scalar));
        EXPECT_EQ(isMark(c.scalar), c.mark);
        EXPECT_EQ(isDecimalDigit(c.scalar), c.decimalDigit);
        EXPECT_EQ(isAlphanumeric(c.scalar), c.alphanumeric);
        EXPECT_EQ(isSpaceSeparator(c.scalar), c.spaceSeparator);
        EXPECT_EQ(isControlOrFormat(c.scalar), c.controlOrFormat);
    }
}

} // namespace
} // namespace platform::text
