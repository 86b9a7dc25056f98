#include "platform/dsp/Half.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace platform::dsp {
namespace {

std::uint16_t bits(Half value) { return std::bit_cast<std::uint16_t>(value); }

Half fromBits(std::uint16_t pattern) { return std::bit_cast<Half>(pattern); }

TEST(HalfTests, FloatToHalfRoundsToNearestTiesToEven) {
    const struct {
        float input;
        std::uint16_t expected;
    } cases[] = {
        {0.0f, 0x0000},
        {-0.0f, 0x8000},
        {1.0f, 0x3c00},
        {-2.0f, 0xc000},
        {0.1f, 0x2e66},
        // Halfway between 1 and the next half: the even neighbour 1 wins.
        {1.0f + 0x1p-11f, 0x3c00},
        // Halfway between 1 + 2^-10 and 1 + 2^-9: the even neighbour 1 + 2^-9 wins.
        {1.0f + 3 * 0x1p-11f, 0x3c02},
        // Just above a tie rounds up.
        {1.0f + 0x1p-11f + 0x1p-20f, 0x3c01},
        {65504.0f, 0x7bff},
        {65519.0f, 0x7bff},
        // Halfway between the largest half and the next power of two overflows to infinity.
        {65520.0f, 0x7c00},
        {1e10f, 0x7c00},
        {-1e10f, 0xfc00},
        {std::numeric_limits<float>::infinity(), 0x7c00},
        {0x1p-14f, 0x0400},
        {0x1p-24f, 0x0001},
        {0x1p-15f, 0x0200},
        // Half the smallest subnormal ties to zero; one and a half of it ties to two.
        {0x1p-25f, 0x0000},
        {1.5f * 0x1p-24f, 0x0002},
        {0x1p-26f, 0x0000},
        {-0x1p-24f, 0x8001},
    };
    std::vector<float> inputs;
    for (const auto& c : cases) {
        Half result{};
        floatToHalf(&c.input, &result, 1);
        EXPECT_EQ(bits(result), c.expected) << c.input;
        inputs.push_back(c.input);
    }

    // All at once, so that most go through the wide conversion and the rest through the tail.
    std::vector<Half> results(inputs.size());
    floatToHalf(inputs.data(), results.data(), inputs.size());
    for (std::size_t index = 0; index < inputs.size(); ++index) {
        EXPECT_EQ(bits(results[index]), cases[index].expected) << inputs[index];
    }

    const float notANumber = std::numeric_limits<float>::quiet_NaN();
    Half result{};
    floatToHalf(&notANumber, &result, 1);
    EXPECT_TRUE(std::isnan(static_cast<float>(result)));
}

TEST(HalfTests, EveryHalfSurvivesARoundTripThroughFloat) {
    std::vector<Half> halves(1u << 16);
    for (std::uint32_t pattern = 0; pattern < halves.size(); ++pattern) {
        halves[pattern] = fromBits(static_cast<std::uint16_t>(pattern));
    }
    std::vector<float> floats(halves.size());
    halfToFloat(halves.data(), floats.data(), halves.size());
    std::vector<Half> back(halves.size());
    floatToHalf(floats.data(), back.data(), floats.size());

    for (std::uint32_t pattern = 0; pattern < halves.size(); ++pattern) {
        const bool isNaN = (pattern & 0x7c00u) == 0x7c00u && (pattern & 0x03ffu) != 0;
        if (isNaN) {
            EXPECT_TRUE(std::isnan(floats[pattern])) << pattern;
        } else {
            EXPECT_EQ(bits(back[pattern]), pattern) << pattern;
        }
    }
    EXPECT_EQ(floats[0x3c00], 1.0f);
    EXPECT_EQ(floats[0x0001], 0x1p-24f);
    EXPECT_EQ(floats[0xfc00], -std::numeric_limits<float>::infinity());
}

} // namespace
} // namespace platform::dsp
