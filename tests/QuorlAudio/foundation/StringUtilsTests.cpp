#include "QuorlAudio/foundation/StringUtils.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

using StringUtils::levenshteinDistance;

TEST(StringUtilsTests, StringDistanceCountsUserPerceivedCharacters) {
    const struct {
        std::string first;
        std::string second;
        int distance;
    } cases[] = {
        {"flaw", "lawn", 2},
        {"", "lawn", 4},
        {"lawn", "", 4},
        {"", "", 0},
        {"kitten", "sitting", 3},
        {"same", "same", 0},
        // Precomposed and decomposed forms of the same character are equal.
        {"caf\u00E9", "cafe\u0301", 0},
        {"cafe", "cafe\u0301", 1},
        // A base letter with its combining mark is one character, as is a flag.
        {"e\u0301\u0323", "x", 1},
        {"\U0001F1EB\U0001F1F7", "", 1},
        {"\u043F\u0440\u0438\u0432\u0435\u0442", "\u043F\u0440\u0438\u0432\u0456\u0442", 1},
        {"a\xFF"
         "b",
         "a\uFFFD"
         "b",
         0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(levenshteinDistance(c.first, c.second), c.distance) << c.first << " / " << c.second;
    }
}

TEST(StringUtilsTests, SequenceDistanceWorksOnAnyComparableElement) {
    EXPECT_EQ(levenshteinDistance(std::vector<int>{1, 2, 3, 4}, std::vector<int>{2, 3, 5, 4, 6}), 3);
    EXPECT_EQ(levenshteinDistance(std::vector<int>{}, std::vector<int>{7, 7}), 2);
    const std::vector<std::string> words{"the", "quick", "fox"};
    const std::vector<std::string> other{"the", "quick", "brown", "fox"};
    EXPECT_EQ(levenshteinDistance(std::span<const std::string>(words), std::span<const std::string>(other)), 1);
}

} // namespace
} // namespace quorl
