#include "QuorlAudio/tts/frontend/EnglishInitialisms.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorl {
namespace {

TEST(EnglishInitialismsTests, ShortAllCapitalWordsAreCandidates) {
    const struct {
        std::string word;
        bool candidate;
    } cases[] = {
        {"NASA", true},  {"AI", true},  {"US", true},       {"ABCDE", true},     {"A", false},    {"ABCDEF", false},
        {"NaSA", false}, {"A1", false}, {"\u00C9T", false}, {"E\u0301T", false}, {"IT'S", false}, {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EnglishInitialisms::isCandidate(c.word), c.candidate) << c.word;
    }
}

TEST(EnglishInitialismsTests, TheOverridesAreAIAndUSAsWritten) {
    const auto& overrides = EnglishInitialisms::letterNameOverrides();
    EXPECT_EQ(overrides, (std::set<std::string, std::less<>>{"AI", "US"}));
    EXPECT_FALSE(overrides.contains("us"));
}

} // namespace
} // namespace quorl
