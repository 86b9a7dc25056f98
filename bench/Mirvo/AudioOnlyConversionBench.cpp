#include "Mirvo/AudioOnlyConversion.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/CommonFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::PCMBuffer;

// What the tap of audio-only capture does with every 1024-frame buffer of a 48 kHz microphone: the frame count
// and the conversion to 16 kHz mono, with the one converter of the capture.
void BM_AudioOnlyConversionPerBuffer(benchmark::State& state) {
    const auto format = *AudioFormat::make(CommonFormat::float32, 48000, 1, false);
    auto buffer = PCMBuffer::make(format, 1024);
    buffer->setFrameLength(1024);
    for (std::uint32_t frame = 0; frame < 1024; ++frame) {
        buffer->floatChannelData()[0][frame] = 0.1f * std::sin(0.05f * static_cast<float>(frame));
    }
    const auto conversion = mirvo::AudioOnlyConversion::make(format);
    for (auto _ : state) {
        const auto capacity = mirvo::AudioOnlyConversion::capacity(format.sampleRate(), buffer->frameLength());
        benchmark::DoNotOptimize(conversion->convert(*buffer, *capacity));
    }
}
BENCHMARK(BM_AudioOnlyConversionPerBuffer);

} // namespace
