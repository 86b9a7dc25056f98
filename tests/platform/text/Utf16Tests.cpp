#include "platform/text/Utf16.hpp"

#include <gtest/gtest.h>

#include <string>

namespace platform::text {
namespace {

TEST(Utf16Tests, ConvertsWellFormedTextBothWays) {
    const struct {
        std::string name;
        std::string utf8;
        std::u16string units;
    } cases[] = {
        {"empty", "", u""},
        {"ASCII", "Hi!\n", u"Hi!\n"},
        {"two bytes", "\u00EB", {char16_t{0x00EB}}},
        {"three bytes", "\u2581\uFFFF", {char16_t{0x2581}, char16_t{0xFFFF}}},
        {"first supplementary scalar", "\U00010000", {char16_t{0xD800}, char16_t{0xDC00}}},
        {"emoji between letters", "a\U0001F600b", {u'a', char16_t{0xD83D}, char16_t{0xDE00}, u'b'}},
        {"last scalar", "\U0010FFFF", {char16_t{0xDBFF}, char16_t{0xDFFF}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf16Of(c.utf8), c.units) << c.name;
        EXPECT_EQ(utf8Of(c.units), c.utf8) << c.name;
    }
}

TEST(Utf16Tests, WritesLoneSurrogatesAsReplacementCharacter) {
    const struct {
        std::string name;
        std::u16string units;
        std::string utf8;
    } cases[] = {
        {"high at the end", {u'a', char16_t{0xD83D}}, "a\uFFFD"},
        {"high before a letter", {char16_t{0xD83D}, u'z'}, "\uFFFDz"},
        {"two highs then a low", {char16_t{0xD83D}, char16_t{0xD83D}, char16_t{0xDE00}}, "\uFFFD\U0001F600"},
        {"low alone", {char16_t{0xDE00}}, "\uFFFD"},
        {"low before its high", {char16_t{0xDE00}, char16_t{0xD83D}}, "\uFFFD\uFFFD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8Of(c.units), c.utf8) << c.name;
    }
}

TEST(Utf16Tests, ReadsMalformedUtf8AsReplacementCharacter) {
    const struct {
        std::string name;
        std::string utf8;
        std::u16string units;
    } cases[] = {
        {"stray continuation byte", "\x80z", u"\uFFFDz"},
        {"truncated at the end", "a\xF0\x9F\x98", u"a\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf16Of(c.utf8), c.units) << c.name;
    }
}

} // namespace
} // namespace platform::text
