#include "QuorlAudio/tts/frontend/MandarinPolyphoneCatalog.hpp"

#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

using Labels = std::vector<int>;
using Strings = std::vector<std::string>;

TEST(MandarinPolyphoneCatalogTests, NumbersSortedReadingsAndListsEachCharactersOnce) {
    const MandarinPolyphoneCatalog catalog(
        "# comment\r\n\r\n  行\tㄏㄤˊ \r行 ㄒㄧㄥˊ\n\n行  ㄏㄤˊ\n\u3000长 ㄓㄤˇ\n长\tㄔㄤˊ");
    EXPECT_EQ(catalog.chars(), (Strings{"行", "长"}));
    EXPECT_EQ(catalog.labels(), (Strings{"ㄏㄤˊ", "ㄒㄧㄥˊ", "ㄓㄤˇ", "ㄔㄤˊ"}));
    EXPECT_EQ(catalog.candidates("行"), (Labels{0, 1}));
    EXPECT_EQ(catalog.candidates("长"), (Labels{2, 3}));
    EXPECT_EQ(catalog.charIndex().at("长"), 1U);
    EXPECT_FALSE(catalog.candidates("中").has_value());
}

TEST(MandarinPolyphoneCatalogTests, ReadingsBAThenBListBThenAOnce) {
    const MandarinPolyphoneCatalog catalog("了 ㄌㄧㄠˇ\n了 ㄌㄜ˙\n了 ㄌㄧㄠˇ\n");
    EXPECT_EQ(catalog.labels(), (Strings{"ㄌㄜ˙", "ㄌㄧㄠˇ"}));
    EXPECT_EQ(catalog.candidates("了"), (Labels{1, 0}));
}

TEST(MandarinPolyphoneCatalogTests, LabelsAndCharactersCompareInNfc) {
    const MandarinPolyphoneCatalog catalog("e\u0301 b\nf a\u0301\nf \u00E1\n");
    EXPECT_EQ(catalog.labels(), (Strings{"b", "\u00E1"}));
    EXPECT_EQ(catalog.candidates("\u00E9"), (Labels{0}));
    EXPECT_EQ(catalog.candidates("f"), (Labels{1}));
}

TEST(MandarinPolyphoneCatalogTests, RefusesMalformedLinesWithTheirText) {
    const std::string prefix = "POLYPHONIC_CHARS.txt parse error: ";
    const struct {
        const char* text;
        std::string message;
    } cases[] = {
        {"行 ㄏㄤˊ\n  行  \n", prefix + "expected '<hanzi><sep><bopomofo>', got '行'"},
        {"行行 ㄏㄤˊ", prefix + "expected single hanzi in column 1, got '行行'"},
        {"行 \u3000", prefix + "expected '<hanzi><sep><bopomofo>', got '行'"},
        {"行\u3000ㄏㄤˊ", prefix + "expected '<hanzi><sep><bopomofo>', got '行\u3000ㄏㄤˊ'"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(testsupport::errorText([&] { MandarinPolyphoneCatalog{testCase.text}; }), testCase.message)
            << testCase.text;
    }
    EXPECT_TRUE(MandarinPolyphoneCatalog("# nothing\n").labels().empty());
}

TEST(MandarinPolyphoneCatalogTests, TurnsTheLastToneMarkIntoItsDigit) {
    const struct {
        const char* reading;
        const char* digitForm;
    } cases[] = {
        {"ㄏㄤˊ", "ㄏㄤ2"}, {"ㄓㄤˇ", "ㄓㄤ3"}, {"ㄓㄨㄥˋ", "ㄓㄨㄥ4"}, {"ㄌㄜ˙", "ㄌㄜ5"}, {"ㄓㄨㄥ", "ㄓㄨㄥ1"},
        {"ˋㄓ", "ˋㄓ1"},    {"", ""},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(MandarinPolyphoneCatalog::toneDigitForm(testCase.reading), testCase.digitForm);
    }
    const MandarinPolyphoneCatalog catalog("中 ㄓㄨㄥˋ\n中 ㄓㄨㄥ\n");
    EXPECT_EQ(catalog.bopomofoDigitForm(1), "ㄓㄨㄥ4");
    EXPECT_EQ(catalog.bopomofo(0), "ㄓㄨㄥ");
    EXPECT_FALSE(catalog.bopomofo(-1).has_value());
    EXPECT_FALSE(catalog.bopomofo(2).has_value());
    EXPECT_FALSE(catalog.bopomofoDigitForm(2).has_value());
}

} // namespace
} // namespace quorl
