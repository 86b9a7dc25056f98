#include "platform/text/Utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform::text {
namespace {

std::vector<char32_t> scalars(std::string_view text) {
    std::vector<char32_t> result;
    for (std::size_t position = 0; position < text.size();) {
        result.push_back(decodeNextScalar(text, position));
    }
    return result;
}

TEST(Utf8Tests, DecodesScalarsAndReplacesMalformedSequences) {
    const struct {
        std::string name;
        std::string text;
        std::vector<char32_t> scalars;
    } cases[] = {
        {"one to four bytes", "a\u00EB\u2581\U0001F600", {U'a', U'\u00EB', U'\u2581', U'\U0001F600'}},
        {"stray continuation byte", "\x80z", {replacementCharacter, U'z'}},
        {"truncated at the end", "\xF0\x9F\x98", {replacementCharacter}},
        {"truncated before an ASCII letter", "\xE2\x96z", {replacementCharacter, U'z'}},
        {"beyond U+10FFFF",
         "\xF4\x90\x80\x80",
         {replacementCharacter, replacementCharacter, replacementCharacter, replacementCharacter}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scalars(c.text), c.scalars) << c.name;
    }
}

TEST(Utf8Tests, TheFirstScalarOfATextIsReadAsDecodingReadsIt) {
    EXPECT_EQ(firstScalar("\u00EBx"), U'\u00EB');
    EXPECT_EQ(firstScalar("\x80z"), replacementCharacter);
    EXPECT_EQ(firstScalar(""), U'\0');
}

TEST(Utf8Tests, StrictDecodingRefusesWhatLenientDecodingReplaces) {
    EXPECT_EQ(decodeScalarsStrictly("a\u00EB\U0001F600"), std::u32string(U"a\u00EB\U0001F600"));
    EXPECT_EQ(decodeScalarsStrictly(""), std::u32string());
    EXPECT_TRUE(isWellFormedUtf8("a\u00EB\U0001F600\uFFFD"));
    for (const std::string malformed : {"a\x80", "\xF0\x9F\x98", "\xED\xA0\x80"}) {
        EXPECT_FALSE(decodeScalarsStrictly(malformed)) << malformed.size();
        EXPECT_FALSE(isWellFormedUtf8(malformed)) << malformed.size();
        EXPECT_EQ(decodeScalars(malformed).back(), replacementCharacter) << malformed.size();
    }
}

TEST(Utf8Tests, EncodingRoundTripsAndReplacesNonScalars) {
    const std::u32string scalars = U"a\u00EB\u2581\U0001F600";
    EXPECT_EQ(decodeScalars(encodeScalars(scalars)), scalars);
    EXPECT_EQ(encodeScalars(std::u32string{char32_t{0xD800}, char32_t{0x110000}}), "\uFFFD\uFFFD");
}

} // namespace
} // namespace platform::text
