#include "platform/text/RegexReplacement.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace platform::text {
namespace {

// Doubles a number, keeps "7" as written and reads an absent sign as "+".
std::optional<std::string> doubled(const RegexCaptures& captures) {
    if (captures[2] == "7") {
        return std::nullopt;
    }
    const std::string sign = captures[1].empty() ? "+" : std::string(captures[1]);
    return sign + std::to_string(2 * std::stoi(std::string(captures[2])));
}

TEST(RegexReplacementTests, ReplacesEveryMatchOfTheTextAsGiven) {
    const Regex numbers(R"((-)?(\d+))");
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"", ""}, {"no digits", "no digits"}, {"1 and -21", "+2 and -42"}, {"ä7ö3", "ä7ö+6"}, {"5", "+10"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replacingMatches(numbers, c.text, doubled), c.expected) << c.text;
    }
}

} // namespace
} // namespace platform::text
