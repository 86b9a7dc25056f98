#include "platform/text/TextPieces.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform::text {
namespace {

TEST(TextPiecesTests, ListsReadAsInMessages) {
    EXPECT_EQ(quotedList(std::vector<std::string>{"a", "b c"}), "[\"a\", \"b c\"]");
    EXPECT_EQ(quotedList(std::vector<std::string>{}), "[]");
    EXPECT_EQ(bracketedList(std::vector<std::int64_t>{1, 50, -2}), "[1, 50, -2]");
}

} // namespace
} // namespace platform::text
