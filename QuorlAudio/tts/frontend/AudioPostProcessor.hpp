#pragma once

#include <span>

// Clean-up filters for synthesised mono speech, applied in place in single precision.
namespace quorl::AudioPostProcessor {

// High-pass at 80 Hz; then, only when deEssAmount is below zero (in decibels), the sibilant shelf at 6 kHz;
// then, when smoothing, a low-pass at 10 kHz.
void applyTtsPostProcessing(std::span<float> samples, float sampleRate, float deEssAmount, bool smoothing);

// One-pole high-pass. The first sample stays; the filter starts from silence, so a constant signal becomes
// its first sample followed by zeros. Needs two samples.
void removeRumble(std::span<float> samples, float sampleRate, float cutoffHz);

// High-shelf biquad (audio-equalizer cookbook) lowering the band above cutoffHz by reductionDb when that is
// negative. Needs three samples.
void deEss(std::span<float> samples, float sampleRate, float cutoffHz, float reductionDb);

// One-pole low-pass starting from the first sample, which stays. Needs two samples.
void smoothHighFrequencies(std::span<float> samples, float sampleRate, float cutoffHz);

} // namespace quorl::AudioPostProcessor
