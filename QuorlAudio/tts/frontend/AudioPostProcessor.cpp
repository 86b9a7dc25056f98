#include "QuorlAudio/tts/frontend/AudioPostProcessor.hpp"

#include <cmath>

namespace quorl::AudioPostProcessor {
namespace {

// 2π as the filters have always been tuned with, slightly below the nearest single-precision value.
constexpr float twoPi = 6.283185F;
constexpr float rumbleCutoffHz = 80.0F;
constexpr float deEssCutoffHz = 6000.0F;
constexpr float smoothingCutoffHz = 10000.0F;
constexpr float shelfQ = 1.414F;

struct Biquad {
    float b0, b1, b2, a1, a2;
};

Biquad highShelf(float sampleRate, float cutoffHz, float gainDb) {
    const float a = std::pow(10.0F, gainDb / 40.0F);
    const float w = twoPi * cutoffHz / sampleRate;
    const float c = std::cos(w);
    const float alpha = std::sin(w) / shelfQ;
    const float k = 2.0F * std::sqrt(a) * alpha;
    const float a0 = (a + 1.0F) - (a - 1.0F) * c + k;
    return Biquad{
        .b0 = a * ((a + 1.0F) + (a - 1.0F) * c + k) / a0,
        .b1 = -2.0F * a * ((a - 1.0F) + (a + 1.0F) * c) / a0,
        .b2 = a * ((a + 1.0F) + (a - 1.0F) * c - k) / a0,
        .a1 = 2.0F * ((a - 1.0F) - (a + 1.0F) * c) / a0,
        .a2 = ((a + 1.0F) - (a - 1.0F) * c - k) / a0,
    };
}

// Transposed direct form II from a silent state.
void filter(std::span<float> samples, const Biquad& q) {
    float z1 = 0.0F;
    float z2 = 0.0F;
    for (float& sample : samples) {
        const float x = sample;
        const float y = q.b0 * x + z1;
        z1 = q.b1 * x - q.a1 * y + z2;
        z2 = q.b2 * x - q.a2 * y;
        sample = y;
    }
}

} // namespace

void applyTtsPostProcessing(std::span<float> samples, float sampleRate, float deEssAmount, bool smoothing) {
    removeRumble(samples, sampleRate, rumbleCutoffHz);
    if (deEssAmount < 0.0F) {
        deEss(samples, sampleRate, deEssCutoffHz, deEssAmount);
    }
    if (smoothing) {
        smoothHighFrequencies(samples, sampleRate, smoothingCutoffHz);
    }
}

void removeRumble(std::span<float> samples, float sampleRate, float cutoffHz) {
    if (samples.size() < 2) {
        return;
    }
    const float rc = 1.0F / (twoPi * cutoffHz);
    const float dt = 1.0F / sampleRate;
    const float a = rc / (rc + dt);
    float y = 0.0F;
    float previousInput = samples[0];
    for (float& sample : samples.subspan(1)) {
        const float x = sample;
        y = a * (y + x - previousInput);
        previousInput = x;
        sample = y;
    }
}

void deEss(std::span<float> samples, float sampleRate, float cutoffHz, float reductionDb) {
    if (samples.size() < 3) {
        return;
    }
    filter(samples, highShelf(sampleRate, cutoffHz, reductionDb));
}

void smoothHighFrequencies(std::span<float> samples, float sampleRate, float cutoffHz) {
    if (samples.size() < 2) {
        return;
    }
    const float dt = 1.0F / sampleRate;
    const float rc = 1.0F / (twoPi * cutoffHz);
    const float a = dt / (dt + rc);
    float y = samples[0];
    for (float& sample : samples.subspan(1)) {
        y = (1.0F - a) * y + a * sample;
        sample = y;
    }
}

} // namespace quorl::AudioPostProcessor
