#include "platform/text/CaseMapping.hpp"

#include <gtest/gtest.h>

#include <string>

namespace platform::text {
namespace {

TEST(CaseMappingTests, LowercasesWithTheDefaultFullMapping) {
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"", ""},
        {"The QUICK fox", "the quick fox"},
        {"\u00C4RGER", "\u00E4rger"},
        // Full mapping: one scalar becomes two.
        {"\u0130", "i\u0307"},
        // Locale-independent: no dotless i.
        {"I", "i"},
        // The capital sigma takes its final form at the end of a word only.
        {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C2"},
        {"\u03A3\u039F", "\u03C3\u03BF"},
        {"\u1E9E", "\u00DF"},
        {"\u2581The", "\u2581the"},
        {"a\xFF", "a\uFFFD"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(lowercased(testCase.text), testCase.expected) << testCase.text;
    }
}

TEST(CaseMappingTests, UppercasesWithTheFullMappingAndTellsCases) {
    EXPECT_EQ(uppercased("stra\u00DFe"), "STRASSE");
    EXPECT_EQ(uppercased("i"), "I");
    EXPECT_EQ(uppercased("\u00E9t\u00E9 1"), "\u00C9T\u00C9 1");
    EXPECT_TRUE(isUppercase(U'A'));
    EXPECT_TRUE(isUppercase(U'\u00C9'));
    EXPECT_FALSE(isUppercase(U'a'));
    EXPECT_TRUE(isLowercase(U'\u00DF'));
    EXPECT_FALSE(isLowercase(U'1'));
    EXPECT_FALSE(isUppercase(U'1'));
    EXPECT_FALSE(isUppercase(char32_t{0x110000}));
}

TEST(CaseMappingTests, TellsWhetherAWholeCharacterIsUppercase) {
    const struct {
        std::string character;
        bool uppercase;
    } cases[] = {
        {"A", true},  {"\u00C9", true}, {"E\u0301", true}, {"e\u0301", false}, {"a", false},
        {"1", false}, {".", false},     {"", false},       {"\u01C5", false},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(isUppercaseCharacter(testCase.character), testCase.uppercase) << testCase.character;
    }
    EXPECT_EQ(uppercased("e\u0301"), "E\u0301");
}

} // namespace
} // namespace platform::text
