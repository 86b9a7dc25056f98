#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr int sampleRate = 16000;
constexpr int seconds = 60;

std::vector<float> speechLikeSignal() {
    std::vector<float> samples(static_cast<std::size_t>(sampleRate) * seconds);
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const float t = static_cast<float>(index) / static_cast<float>(sampleRate);
        samples[index] = 0.3f * std::sin(2.0f * 3.14159265f * 180.0f * t) * std::sin(3.0f * t) +
                         0.05f * std::sin(2.0f * 3.14159265f * 2300.0f * t);
    }
    return samples;
}

// The recognisers' front end over a minute of audio; the counter "realTimeFactor" is compute time over
// audio time.
template <bool transposed> void BM_LogMelOfOneMinute(benchmark::State& state) {
    quorl::AudioMelSpectrogram spectrogram(quorl::AudioMelSpectrogram::Options{.sampleRate = sampleRate});
    const auto audio = speechLikeSignal();
    for (auto _ : state) {
        auto result =
            transposed ? spectrogram.computeFlatTransposed(audio, 0.0f) : spectrogram.computeFlat(audio, 0.0f);
        benchmark::DoNotOptimize(result.mel.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(audio.size()));
    state.counters["realTimeFactor"] = benchmark::Counter(static_cast<double>(state.iterations()) * seconds,
                                                          benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LogMelOfOneMinute<false>)->Name("BM_LogMelOfOneMinute/melMajor")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogMelOfOneMinute<true>)->Name("BM_LogMelOfOneMinute/frameMajor")->Unit(benchmark::kMillisecond);

} // namespace
