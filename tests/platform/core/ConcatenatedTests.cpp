#include "platform/core/Concatenated.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::core::joinedNonEmpty;

TEST(JoinedNonEmptyTests, OnlyTheNonEmptyTextsAreJoinedWithOneSpace) {
    const struct {
        std::string first;
        std::string second;
        std::string expected;
    } cases[] = {
        {"", "", ""},
        {"hello", "", "hello"},
        {"", "world", "world"},
        {"hello", "world", "hello world"},
        {" ", "world", "  world"},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(joinedNonEmpty(each.first, each.second), each.expected) << each.first << "|" << each.second;
    }
}

} // namespace
