#include "platform/text/DecimalInteger.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace platform::text {
namespace {

TEST(DecimalIntegerTests, OnlyASignedRunOfDigitsInRangeParses) {
    const struct {
        std::string text;
        std::optional<std::int64_t> value;
    } cases[] = {
        {"0", 0},          {"+5", 5},         {"-2", -2},        {"007", 7},
        {"9223372036854775807", INT64_MAX},   {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", std::nullopt}, {"", std::nullopt}, {"+", std::nullopt},
        {"-", std::nullopt}, {" 5", std::nullopt}, {"5 ", std::nullopt}, {"5.0", std::nullopt},
        {"0x5", std::nullopt}, {"+-5", std::nullopt}, {"\u0665", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decimalInteger(c.text), c.value) << c.text;
    }
}

} // namespace
} // namespace platform::text
