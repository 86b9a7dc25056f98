#include "QuorlAudio/asr/other/CohereMelSpectrogram.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int sampleRate = 16000;

// A voiced tone with a slow vibrato over a faint hiss, so every band carries energy.
std::vector<float> voicedSignal(int seconds) {
    std::vector<float> samples(static_cast<std::size_t>(sampleRate) * static_cast<std::size_t>(seconds));
    std::uint32_t noise = 12345;
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const float t = static_cast<float>(index) / static_cast<float>(sampleRate);
        noise = noise * 1664525u + 1013904223u;
        const float hiss = static_cast<float>(noise >> 8) / static_cast<float>(1u << 24) - 0.5f;
        samples[index] = 0.4f * std::sin(6.2831853f * (140.0f * t + 3.0f * std::sin(5.0f * t))) + 0.02f * hiss;
    }
    return samples;
}

// The Cohere encoder's front end; "realTimeFactor" is compute time over audio time, as in the foundation's
// BM_LogMelOfOneMinute, so the two compare directly.
void BM_CohereMel(benchmark::State& state) {
    const int seconds = static_cast<int>(state.range(0));
    const quorl::CohereMelSpectrogram front({.sampleRate = sampleRate,
                                             .winLength = 400,
                                             .hopLength = 160,
                                             .nMels = 128,
                                             .fMin = 0.0f,
                                             .fMax = 8000.0f,
                                             .preemph = 0.97f,
                                             .magPower = 2.0f,
                                             .logZeroGuard = 0x1p-24f,
                                             .cmvnEpsilon = 1e-5f});
    const auto audio = voicedSignal(seconds);
    for (auto _ : state) {
        auto output = front.compute(audio);
        benchmark::DoNotOptimize(output.mel.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(audio.size()));
    state.counters["realTimeFactor"] = benchmark::Counter(static_cast<double>(state.iterations()) * seconds,
                                                          benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CohereMel)->Arg(35)->Arg(60)->Unit(benchmark::kMillisecond);

} // namespace
