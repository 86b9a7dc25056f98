#include "QuorlAudio/foundation/AudioConverter.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>

namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::PCMBuffer;

// One minute of 48 kHz stereo speech-band audio: two tones and a little broadband content per channel.
std::shared_ptr<PCMBuffer> oneMinuteOfStereo() {
    constexpr double rate = 48000;
    constexpr std::uint32_t frames = 60 * 48000;
    auto buffer = PCMBuffer::make(*AudioFormat::make(CommonFormat::float32, rate, 2, false), frames);
    buffer->setFrameLength(frames);
    std::uint32_t seed = 1;
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        seed = seed * 1664525u + 1013904223u;
        const double time = frame / rate;
        const double hiss = 0.01 * (static_cast<double>(seed >> 8) / 16777216.0 - 0.5);
        buffer->floatChannelData()[0][frame] =
            static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 220 * time) + hiss);
        buffer->floatChannelData()[1][frame] =
            static_cast<float>(0.2 * std::sin(2 * std::numbers::pi * 3100 * time) - hiss);
    }
    return buffer;
}

// The recogniser's conversion of a whole recording to 16 kHz mono Float32.
void BM_ConvertOneMinuteStereo48kTo16kMono(benchmark::State& state) {
    const auto buffer = oneMinuteOfStereo();
    const quorl::AudioConverter converter;
    for (auto _ : state) {
        const std::vector<float> samples = converter.resampleBuffer(*buffer);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(state.iterations() * buffer->frameLength());
}
BENCHMARK(BM_ConvertOneMinuteStereo48kTo16kMono)->Unit(benchmark::kMillisecond);

} // namespace
