#include "QuorlAudio/tts/frontend/AudioPostProcessor.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <vector>

namespace quorl {
namespace {

namespace post = AudioPostProcessor;
using Samples = std::vector<float>;

constexpr float rate = 24000.0F;

Samples tone(double frequency, std::size_t count) {
    Samples samples(count);
    for (std::size_t n = 0; n < count; ++n) {
        samples[n] = static_cast<float>(std::sin(2 * std::numbers::pi * frequency * static_cast<double>(n) / rate));
    }
    return samples;
}

// The amplitude of the tone at `frequency` in the last `window` samples, by projection onto sine and cosine.
double amplitude(const Samples& samples, double frequency, std::size_t window) {
    double sine = 0;
    double cosine = 0;
    for (std::size_t n = samples.size() - window; n < samples.size(); ++n) {
        const double phase = 2 * std::numbers::pi * frequency * static_cast<double>(n) / rate;
        sine += samples[n] * std::sin(phase);
        cosine += samples[n] * std::cos(phase);
    }
    return 2 * std::hypot(sine, cosine) / static_cast<double>(window);
}

// A signal with content at every frequency, so that any change of order or filter shows.
Samples speechLike() {
    Samples samples(2000);
    for (std::size_t n = 0; n < samples.size(); ++n) {
        samples[n] =
            0.3F + 0.5F * std::sin(0.01F * static_cast<float>(n)) + 0.2F * ((n * 7919U) % 13U == 0 ? 1.0F : -0.1F);
    }
    return samples;
}

TEST(AudioPostProcessorTests, TooShortInputPassesUnchanged) {
    for (const Samples& input : {Samples{}, Samples{0.7F}}) {
        Samples samples = input;
        post::applyTtsPostProcessing(samples, rate, -6, true);
        post::removeRumble(samples, rate, 80);
        post::smoothHighFrequencies(samples, rate, 10000);
        post::deEss(samples, rate, 6000, -6);
        EXPECT_EQ(samples, input);
    }
    Samples two{0.7F, -0.2F};
    post::deEss(two, rate, 6000, -6);
    EXPECT_EQ(two, (Samples{0.7F, -0.2F}));
}

TEST(AudioPostProcessorTests, HighPassKeepsTheFirstSampleAndTurnsAConstantIntoZeros) {
    Samples samples(100, 0.5F);
    post::removeRumble(samples, rate, 80);
    Samples expected(100, 0.0F);
    expected[0] = 0.5F;
    EXPECT_EQ(samples, expected);

    Samples step{0.0F, 1.0F, 1.0F};
    post::removeRumble(step, rate, 80);
    const float rc = 1.0F / (6.283185F * 80.0F);
    const float a = rc / (rc + 1.0F / rate);
    EXPECT_EQ(step, (Samples{0.0F, a, a * (a + 1.0F - 1.0F)}));
}

TEST(AudioPostProcessorTests, LowPassStartsFromTheFirstSampleAndPassesAConstant) {
    Samples constant(50, -0.25F);
    post::smoothHighFrequencies(constant, rate, 10000);
    for (const float sample : constant) {
        EXPECT_FLOAT_EQ(sample, -0.25F);
    }
    Samples step{0.0F, 1.0F};
    post::smoothHighFrequencies(step, rate, 10000);
    const float dt = 1.0F / rate;
    const float rc = 1.0F / (6.283185F * 10000.0F);
    EXPECT_EQ(step, (Samples{0.0F, dt / (dt + rc)}));
}

TEST(AudioPostProcessorTests, TheShelfAt24kHzAndMinus6dBCutsTheTopAndLeavesTheBass) {
    const double gain = std::pow(10.0, -6.0 / 40.0);
    Samples alternating(4800);
    for (std::size_t n = 0; n < alternating.size(); ++n) {
        alternating[n] = n % 2 == 0 ? 1.0F : -1.0F;
    }
    const auto lastMagnitude = [](const Samples& samples) { return std::abs(samples.back()); };
    const struct {
        const char* name;
        Samples input;
        std::function<double(const Samples&)> measure;
        double expected;
    } cases[] = {
        {"a constant passes", Samples(4800, 1.0F), lastMagnitude, 1.0},
        {"the cut-off frequency loses half the decibels", tone(6000, 4800),
         [](const Samples& samples) { return amplitude(samples, 6000, 2400); }, gain},
        {"the top frequency loses all six", alternating, lastMagnitude, gain * gain},
    };
    for (const auto& c : cases) {
        Samples samples = c.input;
        post::deEss(samples, rate, 6000, -6);
        EXPECT_NEAR(c.measure(samples), c.expected, 1e-3) << c.name;
    }
    Samples flat = speechLike();
    const Samples original = flat;
    post::deEss(flat, rate, 6000, 0);
    for (std::size_t n = 0; n < flat.size(); ++n) {
        EXPECT_NEAR(flat[n], original[n], 1e-5);
    }
}

TEST(AudioPostProcessorTests, FiltersRunHighPassThenDeEssThenLowPass) {
    Samples expected = speechLike();
    post::removeRumble(expected, rate, 80);
    post::deEss(expected, rate, 6000, -4);
    post::smoothHighFrequencies(expected, rate, 10000);

    Samples reversed = speechLike();
    post::smoothHighFrequencies(reversed, rate, 10000);
    post::deEss(reversed, rate, 6000, -4);
    post::removeRumble(reversed, rate, 80);

    Samples samples = speechLike();
    post::applyTtsPostProcessing(samples, rate, -4, true);
    EXPECT_EQ(samples, expected);
    EXPECT_NE(samples, reversed);
}

TEST(AudioPostProcessorTests, ANonNegativeOrNaNAmountSkipsTheShelf) {
    for (const bool smoothing : {false, true}) {
        Samples expected = speechLike();
        post::removeRumble(expected, rate, 80);
        if (smoothing) {
            post::smoothHighFrequencies(expected, rate, 10000);
        }
        for (const float amount : {0.0F, 3.0F, std::numeric_limits<float>::quiet_NaN()}) {
            Samples samples = speechLike();
            post::applyTtsPostProcessing(samples, rate, amount, smoothing);
            EXPECT_EQ(samples, expected) << amount << " smoothing " << smoothing;
        }
    }
}

} // namespace
} // namespace quorl
