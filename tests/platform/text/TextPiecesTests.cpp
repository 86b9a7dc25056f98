#include "platform/text/TextPieces.hpp"

#include <gtest/gtest.h>

#include <string>

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

} // namespace
} // namespace platform::text
