#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

constexpr int sampleRate = 16000;

std::vector<float> speechLikeSignal(int seconds) {
    std::vector<float> samples(static_cast<std::size_t>(sampleRate) * static_cast<std::size_t>(seconds));
    for (std::size_t index = 0; index < samples.size(); ++index) {
        const float t = static_cast<float>(index) / static_cast<float>(sampleRate);
        samples[index] = 0.3f * std::sin(2.0f * 3.14159265f * 180.0f * t) * std::sin(3.0f * t) +
                         0.05f * std::sin(2.0f * 3.14159265f * 2300.0f * t);
    }
    return samples;
}

// The recognisers' front end over the argument's seconds of audio; "costPerAudioSecond" is the cost per second
// of audio, which should stay flat as recordings grow.
template <bool transposed> void BM_LogMel(benchmark::State& state) {
    const auto seconds = static_cast<int>(state.range(0));
    quorl::AudioMelSpectrogram spectrogram(quorl::AudioMelSpectrogram::Options{.sampleRate = sampleRate});
    const auto audio = speechLikeSignal(seconds);
    for (auto _ : state) {
        auto result =
            transposed ? spectrogram.computeFlatTransposed(audio, 0.0f) : spectrogram.computeFlat(audio, 0.0f);
        benchmark::DoNotOptimize(result.mel.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(audio.size()));
    state.counters["costPerAudioSecond"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LogMel<false>)->Name("BM_LogMel/melMajor")->Arg(60)->Arg(600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogMel<true>)->Name("BM_LogMel/frameMajor")->Arg(60)->Arg(600)->Unit(benchmark::kMillisecond);

// The same front end in double precision, straight from its definition (a direct transform per frame), over
// the single-precision window and filterbank, so the difference measures the computation's rounding alone.
std::vector<double> referenceLogMel(const std::vector<float>& audio) {
    constexpr int nFFT = 512;
    constexpr int hop = 160;
    constexpr double preemphasis = 0.97f;
    const auto window = quorl::AudioMelSpectrogram::hannWindow(400, false);
    const auto filterbank = quorl::AudioMelSpectrogram::melFilterbank(sampleRate, nFFT, 128);
    std::vector<double> emphasised(audio.size() + nFFT, 0.0);
    for (std::size_t index = 0; index < audio.size(); ++index) {
        const double previous = index == 0 ? 0.0 : audio[index - 1];
        emphasised[index + nFFT / 2] = audio[index] - preemphasis * previous;
    }
    std::vector<double> cosine(nFFT);
    std::vector<double> sine(nFFT);
    for (int index = 0; index < nFFT; ++index) {
        cosine[index] = std::cos(2.0 * std::numbers::pi * index / nFFT);
        sine[index] = std::sin(2.0 * std::numbers::pi * index / nFFT);
    }
    const std::size_t frames = audio.size() / hop + 1;
    const std::size_t placement = (nFFT - window.size()) / 2;
    std::vector<double> result;
    std::vector<double> frame(nFFT);
    std::vector<double> power(nFFT / 2 + 1);
    for (std::size_t index = 0; index < frames; ++index) {
        std::fill(frame.begin(), frame.end(), 0.0);
        for (std::size_t tap = 0; tap < window.size(); ++tap) {
            frame[placement + tap] = emphasised[index * hop + placement + tap] * window[tap];
        }
        for (std::size_t bin = 0; bin < power.size(); ++bin) {
            double real = 0.0;
            double imaginary = 0.0;
            for (std::size_t tap = 0; tap < frame.size(); ++tap) {
                const std::size_t phase = bin * tap % nFFT;
                real += frame[tap] * cosine[phase];
                imaginary -= frame[tap] * sine[phase];
            }
            power[bin] = real * real + imaginary * imaginary;
        }
        for (const auto& weights : filterbank) {
            double mel = 0.0;
            for (std::size_t bin = 0; bin < power.size(); ++bin) {
                mel += weights[bin] * power[bin];
            }
            result.push_back(std::log(mel + 0x1p-24));
        }
    }
    return result;
}

// One computation of ten seconds compared with the double-precision reference: "maxError" and "meanError"
// are the largest and the mean absolute difference of the log-mel values.
void BM_LogMelErrorAgainstDouble(benchmark::State& state) {
    quorl::AudioMelSpectrogram spectrogram(quorl::AudioMelSpectrogram::Options{.sampleRate = sampleRate});
    const auto audio = speechLikeSignal(10);
    const auto reference = referenceLogMel(audio);
    std::vector<float> mel;
    for (auto _ : state) {
        mel = spectrogram.computeFlatTransposed(audio, 0.0f).mel;
    }
    double largest = 0.0;
    double sum = 0.0;
    for (std::size_t index = 0; index < reference.size(); ++index) {
        const double error = std::abs(static_cast<double>(mel[index]) - reference[index]);
        largest = std::max(largest, error);
        sum += error;
    }
    state.counters["maxError"] = largest;
    state.counters["meanError"] = sum / static_cast<double>(reference.size());
}
BENCHMARK(BM_LogMelErrorAgainstDouble)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
