#include "QuorlAudio/tts/frontend/MandarinCustomLexicon.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

using testsupport::errorText;
using Syllable = MandarinPinyinNormalizer::Syllable;
using Token = MandarinCustomLexicon::Token;
using Tokens = std::vector<Token>;

const std::string failed = "KokoroAne input processing failed: MandarinCustomLexicon: ";

std::string parseError(const std::string& text) {
    return errorText([&] { MandarinCustomLexicon::parse(text); });
}

std::string tokenError(const std::string& token) {
    return errorText([&] { MandarinCustomLexicon::fromTokenTexts({{"字", {token}}}); });
}

TEST(MandarinCustomLexiconTests, ReadsWordsAndTokensSkippingCommentsAndBlanks) {
    const auto lexicon = MandarinCustomLexicon::parse("# names\n\n  重庆\tchong2   qing4 \n你\t@ㄋㄧ3 @ㄏ\n");
    EXPECT_EQ(lexicon.entries().size(), 2U);
    EXPECT_EQ(lexicon.entries().at("重庆"), (Tokens{Syllable{"chong", 2}, Syllable{"qing", 4}}));
    EXPECT_EQ(lexicon.entries().at("你"),
              (Tokens{MandarinCustomLexicon::Bopomofo{"ㄋㄧ3"}, MandarinCustomLexicon::Bopomofo{"ㄏ"}}));
    EXPECT_EQ(lexicon.maxKeyCharCount(), 2U);
}

TEST(MandarinCustomLexiconTests, CarriageReturnLineEndsReadLikeLineFeeds) {
    const std::string lines = "# names\n重庆 chong2 qing4\n\n你 ni3\n";
    std::string crlf;
    for (const char c : lines) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_EQ(MandarinCustomLexicon::parse(crlf), MandarinCustomLexicon::parse(lines));
    EXPECT_EQ(parseError("# c\r\n\r\n你\r\n"), failed + "line 3 has no tokens: '你'");
}

TEST(MandarinCustomLexiconTests, NamesTheLineOfAWordWithoutTokensOrDefinedTwice) {
    EXPECT_EQ(parseError("# c\n\n你 ni3\n  好  \n"), failed + "line 4 has no tokens: '好'");
    EXPECT_EQ(parseError("你 ni3\n# c\n\u00E9 e2\ne\u0301 e4\n"), failed + "duplicate word 'e\u0301' on line 4");
    EXPECT_EQ(parseError("你 abc1\n你 ni3\n"), failed + "duplicate word '你' on line 2")
        << "line errors come before token errors";
}

TEST(MandarinCustomLexiconTests, ParsesPinyinAndBopomofoTokens) {
    const struct {
        const char* text;
        Token token;
    } valid[] = {
        {"zhong1", Syllable{"zhong", 1}},
        {"Zhong1", Syllable{"zhong", 1}},
        {"lü3", Syllable{"lv", 3}},
        {"lv3", Syllable{"lv", 3}},
        {"er2", Syllable{"er", 2}},
        {"@ㄋㄧ3", MandarinCustomLexicon::Bopomofo{"ㄋㄧ3"}},
        {"@,中", MandarinCustomLexicon::Bopomofo{",中"}},
    };
    for (const auto& testCase : valid) {
        EXPECT_EQ(MandarinCustomLexicon::fromTokenTexts({{"字", {testCase.text}}}).entries().at("字"),
                  Tokens{testCase.token})
            << testCase.text;
    }
}

TEST(MandarinCustomLexiconTests, RefusesBadTokensWithTheirText) {
    const std::string prefix = failed + "'字' ";
    const struct {
        const char* text;
        std::string message;
    } cases[] = {
        {"", prefix + "has an empty token"},
        {"@", prefix + "has a bare '@' token"},
        {"@ㄋa3", prefix + "bopomofo token contains char 'a' that is not in the v1.1-zh vocab"},
        {"zhong", prefix + "has invalid pinyin token 'zhong' (expected base+tone-digit, e.g. 'zi4')"},
        {"zhong6", prefix + "has invalid pinyin token 'zhong6' (expected base+tone-digit, e.g. 'zi4')"},
        {"zh1ong", prefix + "has invalid pinyin token 'zh1ong' (expected base+tone-digit, e.g. 'zi4')"},
        {"abc1", prefix + "token 'abc1' parsed but MandarinBopomofoMap can't encode it"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(tokenError(testCase.text), testCase.message) << testCase.text;
    }
    EXPECT_EQ(errorText([] { MandarinCustomLexicon::fromTokenTexts({{"", {"ni3"}}}); }), failed + "empty word");
    EXPECT_EQ(errorText([] { MandarinCustomLexicon::fromTokenTexts({{"你", {}}}); }), failed + "'你' has no tokens");
    try {
        MandarinCustomLexicon::fromTokenTexts({{"字", {"@"}}});
        FAIL() << "nothing thrown";
    } catch (const KokoroAneError& error) {
        EXPECT_EQ(error.kind(), KokoroAneError::Kind::inputProcessingFailed);
    }
}

TEST(MandarinCustomLexiconTests, LoadsUtf8FilesOnly) {
    testsupport::TemporaryFolder folder;
    const auto file = folder.path() / "lexicon.txt";
    std::ofstream(file, std::ios::binary) << "你 ni3\n";
    EXPECT_EQ(MandarinCustomLexicon::load(file).entries().at("你"), (Tokens{Syllable{"ni", 3}}));
    std::ofstream(file, std::ios::binary) << "\xFF ni3\n";
    EXPECT_EQ(errorText([&] { MandarinCustomLexicon::load(file); }),
              failed + "file is not valid UTF-8 at " + file.string());
}

TEST(MandarinCustomLexiconTests, MergingKeepsTheArgumentsTokens) {
    const auto mine = MandarinCustomLexicon::parse("你 ni3\n好 hao3\n");
    const auto theirs = MandarinCustomLexicon::parse("你 @ㄋㄧ2\n你们好 ni3 men5 hao3\n");
    const auto merged = mine.merged(theirs);
    EXPECT_EQ(merged.entries().size(), 3U);
    EXPECT_EQ(merged.entries().at("你"), (Tokens{MandarinCustomLexicon::Bopomofo{"ㄋㄧ2"}}));
    EXPECT_EQ(merged.entries().at("好"), (Tokens{Syllable{"hao", 3}}));
    EXPECT_EQ(merged.maxKeyCharCount(), 3U);
    EXPECT_TRUE(MandarinCustomLexicon::empty().isEmpty());
    EXPECT_EQ(MandarinCustomLexicon::empty().maxKeyCharCount(), 0U);
}

TEST(MandarinCustomLexiconTests, TheLongestWordWins) {
    const auto lexicon = MandarinCustomLexicon::parse("北京 bei3 jing1\n北京大学 @ㄅ\n学 xue2\n");
    const std::vector<std::string> text{"北", "京", "大", "学", "北", "京", "大"};
    const auto four = lexicon.longestMatch(text, 0);
    ASSERT_TRUE(four.has_value());
    EXPECT_EQ(four->length, 4U);
    EXPECT_EQ(lexicon.longestMatch(text, 4)->length, 2U);
    EXPECT_EQ(lexicon.longestMatch(text, 3)->length, 1U);
    EXPECT_FALSE(lexicon.longestMatch(text, 2).has_value());
    EXPECT_FALSE(lexicon.longestMatch(text, 7).has_value());
    EXPECT_FALSE(MandarinCustomLexicon::empty().longestMatch(text, 0).has_value());
}

} // namespace
} // namespace quorl
