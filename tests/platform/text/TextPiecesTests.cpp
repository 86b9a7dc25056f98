#include "platform/text/TextPieces.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform::text {
namespace {

TEST(TextPiecesTests, ReplacingAllWorksLeftToRightWithoutSearchingReplacements) {
    const struct {
        std::string text;
        std::string found;
        std::string replacement;
        std::string expected;
    } cases[] = {
        {"x @ y", "@", " at ", "x  at  y"},    {"aaa", "aa", "a", "aa"}, {"\"\"\"\"", "\"\"", "\"", "\"\""},
        {"none here", "@", "at", "none here"}, {"", "@", "at", ""},      {"a\u2013b\u2013", "\u2013", "-", "a-b-"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replacingAll(c.text, c.found, c.replacement), c.expected) << c.text;
    }
}

TEST(TextPiecesTests, ListsReadAsInMessages) {
    EXPECT_EQ(quotedList(std::vector<std::string>{"a", "b c"}), "[\"a\", \"b c\"]");
    EXPECT_EQ(quotedList(std::vector<std::string>{}), "[]");
    EXPECT_EQ(bracketedList(std::vector<std::int64_t>{1, 50, -2}), "[1, 50, -2]");
}

} // namespace
} // namespace platform::text
