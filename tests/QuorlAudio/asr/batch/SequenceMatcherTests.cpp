#include "QuorlAudio/asr/batch/SequenceMatcher.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace quorl {

std::ostream& operator<<(std::ostream& stream, const SequenceMatch& match) {
    return stream << "{" << match.leftStartIndex << ", " << match.rightStartIndex << ", " << match.length << "}";
}

namespace {

using Tokens = std::vector<int>;

TEST(SequenceMatcher, SuffixPrefixMatchIsTheLongestOverlapOfAtLeastTwo) {
    const struct {
        Tokens previous;
        Tokens current;
        int maxOverlap;
        std::optional<SequenceMatch> expected;
    } cases[] = {
        {{1, 2, 3, 4}, {3, 4, 5}, 12, SequenceMatch{.leftStartIndex = 2, .rightStartIndex = 0, .length = 2}},
        {{1, 2, 1, 2}, {1, 2, 1, 2, 7}, 12, SequenceMatch{.leftStartIndex = 0, .rightStartIndex = 0, .length = 4}},
        {{1, 2, 1, 2}, {1, 2, 1, 2, 7}, 3, SequenceMatch{.leftStartIndex = 2, .rightStartIndex = 0, .length = 2}},
        {{1, 2, 3, 4}, {3, 4, 5}, 1, std::nullopt},
        {{1, 2, 3}, {3, 9}, 12, std::nullopt},
        {{}, {3, 9}, 12, std::nullopt},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(SequenceMatcher::findSuffixPrefixMatch(testCase.previous, testCase.current, testCase.maxOverlap,
                                                         std::equal_to()),
                  testCase.expected);
    }
}

TEST(SequenceMatcher, BoundedSearchPrefersLongerRunsThenEarlierStarts) {
    const struct {
        const char* name;
        Tokens previous;
        Tokens current;
        int maxSearchLength;
        int boundarySearchFrames;
        std::optional<SequenceMatch> expected;
    } cases[] = {
        {"longest run first",
         {5, 6, 7, 8, 9},
         {6, 7, 1, 7, 8, 9},
         5,
         20,
         SequenceMatch{.leftStartIndex = 2, .rightStartIndex = 3, .length = 3}},
        {"earliest start in previous",
         {1, 2, 9, 1, 2},
         {8, 1, 2},
         5,
         20,
         SequenceMatch{.leftStartIndex = 0, .rightStartIndex = 1, .length = 2}},
        {"earliest start in current",
         {4, 1, 2},
         {1, 2, 1, 2},
         3,
         20,
         SequenceMatch{.leftStartIndex = 1, .rightStartIndex = 0, .length = 2}},
        {"only the last elements of previous", {1, 2, 9, 9, 9}, {1, 2}, 3, 20, std::nullopt},
        {"only the first starts in current", {1, 2}, {7, 7, 1, 2}, 2, 2, std::nullopt},
        {"the boundary admits the start",
         {1, 2},
         {7, 7, 1, 2},
         2,
         3,
         SequenceMatch{.leftStartIndex = 0, .rightStartIndex = 2, .length = 2}},
        {"a single element is no run", {1}, {1, 2}, 2, 20, std::nullopt},
        {"a search length below two finds nothing", {1, 2}, {1, 2}, 1, 20, std::nullopt},
        {"a negative boundary finds nothing", {1, 2}, {1, 2}, 2, -1, std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(SequenceMatcher::findBoundedSubstringMatch(testCase.previous, testCase.current,
                                                             testCase.maxSearchLength, testCase.boundarySearchFrames,
                                                             std::equal_to()),
                  testCase.expected);
    }
}

std::vector<SequenceMatch> pairs(std::initializer_list<std::pair<int, int>> indices) {
    std::vector<SequenceMatch> matches;
    for (const auto& [left, right] : indices) {
        matches.push_back(SequenceMatch{.leftStartIndex = left, .rightStartIndex = right, .length = 1});
    }
    return matches;
}

TEST(SequenceMatcher, LongestCommonSubsequenceWalksBackPreferringTheRightSequence) {
    const struct {
        std::string left;
        std::string right;
        std::vector<SequenceMatch> expected;
    } cases[] = {
        {"xy", "yx", pairs({{1, 0}})},
        {"abc", "xyz", {}},
        {"abcbdab", "bdcaba", pairs({{3, 0}, {4, 1}, {5, 3}, {6, 4}})},
        {"aa", "a", pairs({{1, 0}})},
        {"", "a", {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.left + "/" + testCase.right);
        EXPECT_EQ(SequenceMatcher::findLongestCommonSubsequence(testCase.left, testCase.right, std::equal_to()),
                  testCase.expected);
    }
}

TEST(SequenceMatcher, MatchersMayCompareDifferentElementTypes) {
    struct Timed {
        int token;
        double start;
    };
    const std::vector<Timed> left{{1, 0.0}, {2, 0.5}, {3, 1.0}};
    const std::vector<int> right{2, 3};
    const auto sameToken = [](const Timed& timed, int token) { return timed.token == token; };

    EXPECT_EQ(SequenceMatcher::findLongestCommonSubsequence(left, right, sameToken), pairs({{1, 0}, {2, 1}}));
    EXPECT_EQ(SequenceMatcher::findSuffixPrefixMatch(left, right, 5, sameToken),
              (SequenceMatch{.leftStartIndex = 1, .rightStartIndex = 0, .length = 2}));
}

} // namespace
} // namespace quorl
