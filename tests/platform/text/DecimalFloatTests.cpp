#include "platform/text/DecimalFloat.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

namespace platform::text {
namespace {

TEST(DecimalFloatTests, ReadsOnlyAWholeNumberInTheCLocale) {
    const struct {
        std::string text;
        std::optional<float> value;
    } cases[] = {
        {"0.01", 0.01F},       {"+0.25", 0.25F},       {"-2e-3", -2e-3F},      {"1", 1.0F},
        {"", std::nullopt},    {" 0.5", std::nullopt}, {"0.5 ", std::nullopt}, {"abc", std::nullopt},
        {"1,5", std::nullopt}, {"1e99", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decimalFloat(c.text), c.value) << c.text;
    }
    EXPECT_TRUE(std::isnan(*decimalFloat("nan")));
}

} // namespace
} // namespace platform::text
