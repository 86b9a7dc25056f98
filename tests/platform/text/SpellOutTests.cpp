#include "platform/text/SpellOut.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace platform::text {
namespace {

TEST(SpellOutTests, WritesEnglishWordsAsIcuDoes) {
    const struct {
        std::int64_t value;
        std::string words;
    } cases[] = {
        {0, "zero"},
        {21, "twenty-one"},
        {112, "one hundred twelve"},
        {-5, "minus five"},
        {2024, "two thousand twenty-four"},
        {999'999'999'999'999'999, "nine hundred ninety-nine quadrillion nine hundred ninety-nine trillion "
                                  "nine hundred ninety-nine billion nine hundred ninety-nine million "
                                  "nine hundred ninety-nine thousand nine hundred ninety-nine"},
        {1'000'000'000'000'000'000, "1,000,000,000,000,000,000"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(englishSpellOut(c.value), c.words) << c.value;
    }
}

} // namespace
} // namespace platform::text
