#include "QuorlAudio/foundation/DecimalText.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quorl {
namespace {

TEST(DecimalTextTests, PrintsTheShortestRoundTripWithADecimalPointInPlainRange) {
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {48000, "48000.0"},
        {22050.5, "22050.5"},
        {1.0 / 3.0, "0.3333333333333333"},
        {0, "0.0"},
        {-16000, "-16000.0"},
        {1e15, "1000000000000000.0"},
        {1e16, "1e+16"},
        {1e-5, "1e-05"},
        {std::ldexp(1.0, 60), "1.152921504606847e+18"},
        {-2.5e-7, "-2.5e-07"},
        {infinity, "inf"},
        {-infinity, "-inf"},
        {std::nan(""), "nan"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decimalText(c.value), c.text) << c.value;
    }
}

TEST(DecimalTextTests, FloatsTakeTheirOwnShortestRoundTripDigits) {
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.85f, "0.85"},
        {0.8f, "0.8"},
        {1.0f, "1.0"},
        {0.33333334f, "0.33333334"},
        {1e-5f, "1e-05"},
        {-2.5f, "-2.5"},
        {3e38f, "3e+38"},
        {std::numeric_limits<float>::infinity(), "inf"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
        {std::nanf(""), "nan"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(floatDecimalText(c.value), c.text) << c.value;
    }
}

TEST(DecimalTextTests, FixedDecimalsRoundLikePrintf) {
    EXPECT_EQ(fixedDecimalText(12.96, 1), "13.0");
    EXPECT_EQ(fixedDecimalText(13.0, 1), "13.0");
    EXPECT_EQ(fixedDecimalText(0.0123, 3), "0.012");
    EXPECT_EQ(fixedDecimalText(4.0, 1), "4.0");
}

} // namespace
} // namespace quorl
