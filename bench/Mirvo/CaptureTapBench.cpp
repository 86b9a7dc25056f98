#include "Mirvo/ClonePCMBuffer.hpp"
#include "Mirvo/InputLevelMeter.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::PCMBuffer;

// A capture buffer as a microphone delivers it: 1024 frames, 48 kHz, one channel of floats.
std::shared_ptr<PCMBuffer> captureBuffer() {
    auto buffer = PCMBuffer::make(*AudioFormat::make(CommonFormat::float32, 48000, 1, false), 1024);
    buffer->setFrameLength(1024);
    for (std::uint32_t frame = 0; frame < 1024; ++frame) {
        buffer->floatChannelData()[0][frame] = 0.1f * std::sin(0.05f * static_cast<float>(frame));
    }
    return buffer;
}

// What the capture thread does with every buffer before the recogniser's queue takes the copy: the level (every
// buffer measured, as when the 0.1 s throttle lets each one through) and the copy.
void BM_CaptureTapLevelAndCopy(benchmark::State& state) {
    const auto buffer = captureBuffer();
    double now = 0;
    mirvo::InputLevelMeter meter([&now] { return now += 1.0; });
    for (auto _ : state) {
        benchmark::DoNotOptimize(meter.level(*buffer));
        benchmark::DoNotOptimize(mirvo::clonePCMBuffer(*buffer));
    }
}
BENCHMARK(BM_CaptureTapLevelAndCopy);

} // namespace
