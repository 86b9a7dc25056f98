#include "platform/text/Regex.hpp"

#include "platform/core/SystemError.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform::text {
namespace {

std::vector<std::string> wholeMatches(const Regex& regex, std::string_view text) {
    std::vector<std::string> found;
    for (const RegexMatch& match : regex.matches(text)) {
        found.emplace_back(match.captured(text, 0));
    }
    return found;
}

TEST(RegexTests, FindsEveryMatchLeftToRightWithLookBehind) {
    const Regex numbers("(?<![A-Za-z0-9.,:])[0-9]+(?![A-Za-z0-9])");
    EXPECT_EQ(wholeMatches(numbers, "1 and 22, A4 x.5 333"), (std::vector<std::string>{"1", "22", "333"}));
    EXPECT_TRUE(numbers.matches("no numbers").empty());
    EXPECT_FALSE(numbers.firstMatch("A4"));
}

TEST(RegexTests, RangesAreByteOffsetsAndAGroupThatTookNoPartReadsAsEmpty) {
    const Regex ordinal("([0-9]+)(st|nd)?");
    const std::string text = "\u00E9\u00E9 21st";
    const auto match = ordinal.firstMatch(text);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->range(), (TextRange{5, 9}));
    EXPECT_EQ(match->groups[1], (TextRange{5, 7}));
    EXPECT_EQ(match->captured(text, 2), "st");

    const auto plain = ordinal.firstMatch("7");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->groups[2]);
    EXPECT_EQ(plain->captured("7", 2), "");
}

TEST(RegexTests, ClassesAreUnicodeAndMatchingMayIgnoreCase) {
    EXPECT_EQ(wholeMatches(Regex("\\d+"), "12 \u0663\u0664 x"), (std::vector<std::string>{"12", "\u0663\u0664"}));
    EXPECT_EQ(wholeMatches(Regex("<sub\\s+"), "<SUB\u00A0"), std::vector<std::string>{});
    EXPECT_EQ(wholeMatches(Regex("<sub\\s+", RegexOptions{.caseInsensitive = true}), "<SUB\u00A0"),
              std::vector<std::string>{"<SUB\u00A0"});
}

TEST(RegexTests, ReplacingMatchesTakesTheReplacementLiterally) {
    const Regex runs("\\s+");
    EXPECT_EQ(runs.replacingMatches("a \t\n b\u00A0\u00A0c ", " "), "a b c ");
    EXPECT_EQ(runs.replacingMatches("plain", " "), "plain");
    EXPECT_EQ(Regex("(x)").replacingMatches("axb", "$1"), "a$1b");
}

TEST(RegexTests, MalformedBytesMatchAsReplacementCharactersAtTheirOwnOffsets) {
    const std::string text = "\x80z";
    const auto match = Regex("\uFFFDz").firstMatch(text);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->range(), (TextRange{0, 2}));
}

TEST(RegexTests, APatternThatDoesNotCompileThrows) { EXPECT_THROW(Regex("(unclosed"), core::SystemError); }

} // namespace
} // namespace platform::text
