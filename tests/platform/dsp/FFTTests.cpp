#include "platform/dsp/FFT.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace platform::dsp {
namespace {

std::vector<float> signal(std::size_t length) {
    std::vector<float> values(length);
    for (std::size_t index = 0; index < length; ++index) {
        values[index] = std::sin(0.37f * static_cast<float>(index * index + 1)) + (index % 3 == 0 ? 0.5f : -0.25f);
    }
    return values;
}

std::vector<std::complex<double>> directTransform(const std::vector<float>& input) {
    const std::size_t length = input.size();
    std::vector<std::complex<double>> output(length / 2 + 1);
    for (std::size_t bin = 0; bin < output.size(); ++bin) {
        for (std::size_t index = 0; index < length; ++index) {
            const double angle =
                -2.0 * std::numbers::pi * static_cast<double>(bin * index % length) / static_cast<double>(length);
            output[bin] += static_cast<double>(input[index]) * std::polar(1.0, angle);
        }
    }
    return output;
}

TEST(FFTTests, MatchesADirectTransformWithoutScaling) {
    for (const std::size_t length : {2u, 8u, 12u, 90u, 400u, 512u}) {
        auto fft = FFT::create(length);
        ASSERT_TRUE(fft.has_value()) << length;
        ASSERT_EQ(fft->binCount(), length / 2 + 1);
        const auto input = signal(length);
        const auto expected = directTransform(input);
        // One value past the bins guards against writing beyond them.
        std::vector<std::complex<float>> output(fft->binCount() + 1, {42.0f, 42.0f});
        fft->forward(input.data(), output.data());
        const double tolerance = 1e-5 * static_cast<double>(length);
        for (std::size_t bin = 0; bin < expected.size(); ++bin) {
            EXPECT_NEAR(output[bin].real(), expected[bin].real(), tolerance) << length << " bin " << bin;
            EXPECT_NEAR(output[bin].imag(), expected[bin].imag(), tolerance) << length << " bin " << bin;
        }
        EXPECT_EQ(output.back(), std::complex<float>(42.0f, 42.0f)) << length;
    }
}

TEST(FFTTests, APlanGivesTheSameResultOnEveryUse) {
    auto fft = FFT::create(64);
    ASSERT_TRUE(fft.has_value());
    const auto first = signal(64);
    const std::vector<float> second(64, 1.0f);
    std::vector<std::complex<float>> before(fft->binCount());
    std::vector<std::complex<float>> constant(fft->binCount());
    std::vector<std::complex<float>> after(fft->binCount());
    fft->forward(first.data(), before.data());
    fft->forward(second.data(), constant.data());
    fft->forward(first.data(), after.data());
    EXPECT_EQ(before, after);
    EXPECT_EQ(constant[0], std::complex<float>(64.0f, 0.0f));
    for (std::size_t bin = 1; bin < constant.size(); ++bin) {
        EXPECT_NEAR(std::abs(constant[bin]), 0.0f, 1e-5f) << bin;
    }
}

TEST(FFTTests, RejectsUnsupportedLengths) {
    for (const std::size_t length : {0u, 1u, 7u, 511u}) {
        EXPECT_FALSE(FFT::create(length).has_value()) << length;
    }
}

} // namespace
} // namespace platform::dsp
