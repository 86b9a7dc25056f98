#include "platform/text/GraphemeClusters.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform::text {
namespace {

TEST(GraphemeClustersTests, SplitsTextIntoUserPerceivedCharacters) {
    const struct {
        std::string name;
        std::string text;
        std::vector<std::string> clusters;
    } cases[] = {
        {"empty", "", {}},
        {"ascii", "ab c", {"a", "b", " ", "c"}},
        {"precomposed", "Zo\u00EB", {"Z", "o", "\u00EB"}},
        {"combining mark joins its base", "Zoe\u0301!", {"Z", "o", "e\u0301", "!"}},
        {"cyrillic", "\u043F\u0440\u0438", {"\u043F", "\u0440", "\u0438"}},
        {"carriage return and line feed", "a\r\nb", {"a", "\r\n", "b"}},
        {"flag of two regional indicators", "\U0001F1EB\U0001F1F7x", {"\U0001F1EB\U0001F1F7", "x"}},
        {"family joined by zero-width joiners", "\U0001F469\u200D\U0001F467!", {"\U0001F469\u200D\U0001F467", "!"}},
        {"hangul syllable from jamo", "\u1100\u1161\u11A8", {"\u1100\u1161\u11A8"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(graphemeClusters(c.text), c.clusters) << c.name;
    }
}

TEST(GraphemeClustersTests, MalformedBytesBecomeReplacementCharacters) {
    const struct {
        std::string name;
        std::string text;
        std::vector<std::string> clusters;
    } cases[] = {
        {"stray continuation byte", "a\x80z", {"a", "\uFFFD", "z"}},
        {"truncated sequence at the end", "a\xE2\x96", {"a", "\uFFFD"}},
        {"overlong encoding", "\xC0\xAF", {"\uFFFD", "\uFFFD"}},
        {"encoded surrogate", "\xED\xA0\x80", {"\uFFFD", "\uFFFD", "\uFFFD"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(graphemeClusters(c.text), c.clusters) << c.name;
    }
}

TEST(GraphemeClustersTests, BoundariesAreByteOffsetsOfTheTextAsGiven) {
    const struct {
        std::string name;
        std::string text;
        std::vector<std::size_t> boundaries;
    } cases[] = {
        {"empty", "", {0}},
        {"ascii", "ab", {0, 1, 2}},
        {"combining mark joins its base", "e\u0301x", {0, 3, 4}},
        {"flag of two regional indicators", "\U0001F1EB\U0001F1F7x", {0, 8, 9}},
        {"malformed byte keeps its own width", "a\x80z", {0, 1, 2, 3}},
        {"truncated sequence at the end", "a\xE2\x96", {0, 1, 3}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(graphemeBoundaries(c.text), c.boundaries) << c.name;
        EXPECT_EQ(characterCount(c.text), c.boundaries.size() - 1) << c.name;
    }
}

} // namespace
} // namespace platform::text
