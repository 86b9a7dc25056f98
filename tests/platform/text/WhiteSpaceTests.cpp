#include "platform/text/WhiteSpace.hpp"

#include <gtest/gtest.h>

#include <string>

namespace platform::text {
namespace {

TEST(WhiteSpaceTests, BlanksAreTabAndSpaceSeparatorsAndLineBreaksAreTheirOwnSet) {
    for (const char32_t blank : {U'\t', U' ', U'\u00A0', U'\u1680', U'\u2000', U'\u200A', U'\u202F', U'\u3000'}) {
        EXPECT_TRUE(isBlank(blank)) << static_cast<int>(blank);
        EXPECT_FALSE(isLineBreak(blank)) << static_cast<int>(blank);
    }
    for (const char32_t lineBreak : {U'\n', U'\v', U'\f', U'\r', U'\u0085', U'\u2028', U'\u2029'}) {
        EXPECT_TRUE(isLineBreak(lineBreak)) << static_cast<int>(lineBreak);
        EXPECT_FALSE(isBlank(lineBreak)) << static_cast<int>(lineBreak);
    }
    for (const char32_t other : {U'a', U'\u200B', U'\uFEFF', U'\0'}) {
        EXPECT_FALSE(isBlank(other) || isLineBreak(other)) << static_cast<int>(other);
    }
}

TEST(WhiteSpaceTests, TrimsOnlyTheEnds) {
    const std::u32string text = U"\u3000\n a b\t\u2028";
    EXPECT_EQ(trimmingWhiteSpaceAndLineBreaks(text), U"a b");
    EXPECT_EQ(trimmingBlanks(text), U"\n a b\t\u2028");
    EXPECT_EQ(trimmingBlanks(U" \t "), U"");
    EXPECT_EQ(trimmingWhiteSpaceAndLineBreaks(std::string_view("\u3000\n h\u00E9 \xFF\r\n")), "h\u00E9 \uFFFD");
    EXPECT_EQ(trimmingBlanks(std::string_view("\u3000\t h\u00E9 \xFF\n \u00A0")), "h\u00E9 \xFF\n");
    EXPECT_EQ(trimmingBlanks(std::string_view(" \t\u2003")), "");
    // An ill-formed tail is text; a blank after a stray byte is still trimmed.
    EXPECT_EQ(trimmingBlanks(std::string_view("a\u2000\x80")), "a\u2000\x80");
    EXPECT_EQ(trimmingBlanks(std::string_view("a\xE2\u202F ")), "a\xE2");
    EXPECT_EQ(trimmingBlanks(std::string_view("\x80\u3000")), "\x80");
}

TEST(WhiteSpaceTests, AUtf8TextIsAllWhiteSpaceWhenNothingButBlanksAndLineBreaksRemain) {
    const struct {
        std::string text;
        bool expected;
    } cases[] = {
        {"", true},      {" \t\r\n\u3000\u2028\u00A0", true}, {" a ", false}, {"\u200B", false}, {" \xFF ", false},
        {"\xC2", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isAllWhiteSpaceAndLineBreaks(c.text), c.expected) << c.text;
    }
}

} // namespace
} // namespace platform::text
