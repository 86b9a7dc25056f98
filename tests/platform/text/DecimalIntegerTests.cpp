#include "platform/text/DecimalInteger.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace platform::text {
namespace {

TEST(DecimalIntegerTests, ReadsAnOptionalSignAndAsciiDigitsOnly) {
    const struct {
        std::string text;
        std::optional<std::int64_t> value;
    } cases[] = {
        {"42", 42},
        {"+7", 7},
        {"-5", -5},
        {"007", 7},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"+-5", std::nullopt},
        {"1-2", std::nullopt},
        {" 1", std::nullopt},
        {"1,000", std::nullopt},
        {"\u0663", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decimalInteger(c.text), c.value) << c.text;
    }
}

} // namespace
} // namespace platform::text
