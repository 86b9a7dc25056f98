#include "QuorlAudio/tts/frontend/AudioPostProcessor.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace {

namespace post = quorl::AudioPostProcessor;

constexpr float sampleRate = 24000.0F;

// One minute of 24 kHz speech-like sound: a few harmonics under a slow envelope with a little hiss.
std::vector<float> oneMinute() {
    std::vector<float> samples(60 * 24000);
    std::uint32_t noise = 1;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const float t = static_cast<float>(n) / sampleRate;
        noise = noise * 1664525U + 1013904223U;
        const float hiss = static_cast<float>(noise >> 8) / 16777216.0F - 0.5F;
        samples[n] = (0.4F * std::sin(6.2831853F * 140.0F * t) + 0.2F * std::sin(6.2831853F * 2800.0F * t)) *
                         (0.6F + 0.4F * std::sin(6.2831853F * 3.0F * t)) +
                     0.05F * hiss;
    }
    return samples;
}

// Filters a fresh copy of the minute on every iteration; the copy is left out of the timing.
void runOverOneMinute(benchmark::State& state, const std::function<void(std::span<float>)>& process) {
    const std::vector<float> original = oneMinute();
    std::vector<float> samples(original.size());
    for (auto _ : state) {
        state.PauseTiming();
        samples = original;
        state.ResumeTiming();
        process(samples);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(original.size()));
}

void BM_RemoveRumbleOneMinute(benchmark::State& state) {
    runOverOneMinute(state, [](std::span<float> samples) { post::removeRumble(samples, sampleRate, 80); });
}

void BM_DeEssOneMinute(benchmark::State& state) {
    runOverOneMinute(state, [](std::span<float> samples) { post::deEss(samples, sampleRate, 6000, -6); });
}

void BM_SmoothHighFrequenciesOneMinute(benchmark::State& state) {
    runOverOneMinute(state, [](std::span<float> samples) { post::smoothHighFrequencies(samples, sampleRate, 10000); });
}

void BM_AllThreeFiltersOneMinute(benchmark::State& state) {
    runOverOneMinute(state,
                     [](std::span<float> samples) { post::applyTtsPostProcessing(samples, sampleRate, -6, true); });
}

} // namespace

BENCHMARK(BM_RemoveRumbleOneMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeEssOneMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmoothHighFrequenciesOneMinute)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllThreeFiltersOneMinute)->Unit(benchmark::kMillisecond);
