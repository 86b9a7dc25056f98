#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"
#include "QuorlAudio/foundation/AudioSource.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t bufferFrames = 1024;
constexpr double streamSeconds = 60;

// The tdtCtc110m set, whose fused front end goes from audio to encoder frames in one model.
const quorl::AsrModels& models() {
    static const benchsupport::BundleFolder folder("sliding-window-bench");
    static const quorl::AsrModels loaded =
        benchsupport::trivialModels(folder, {.version = quorl::AsrModelVersion::tdtCtc110m,
                                             .name = "bench-streaming",
                                             .validFrames = static_cast<int>(benchsupport::windowFrames),
                                             .encoderDelay = {}});
    return loaded;
}

// A minute of a 440 Hz tone, mono Float32 at the rate, cut into capture-sized buffers.
std::vector<quorl::SlidingWindowAsrManager::AudioBuffer> capturedMinute(double sampleRate) {
    const auto format =
        platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, sampleRate, 1, false);
    const auto total = static_cast<std::size_t>(streamSeconds * sampleRate);
    std::vector<quorl::SlidingWindowAsrManager::AudioBuffer> buffers;
    for (std::size_t first = 0; first < total; first += bufferFrames) {
        const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(bufferFrames, total - first));
        auto buffer = platform::audio::PCMBuffer::make(*format, frames);
        buffer->setFrameLength(frames);
        float* samples = buffer->floatChannelData()[0];
        for (std::uint32_t frame = 0; frame < frames; ++frame) {
            const double time = static_cast<double>(first + frame) / sampleRate;
            samples[frame] = static_cast<float>(0.1 * std::sin(2 * std::numbers::pi * 440 * time));
        }
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

// A whole dictation of one minute: start, every buffer handed in, finish. The models cost next to nothing, so
// what is measured is the recogniser's own work (conversion, windowing, padding, the window inference around the
// predictions, text and timings). Reported per second of audio.
void streamMinute(benchmark::State& state, double sampleRate) {
    const auto buffers = capturedMinute(sampleRate);
    for (auto _ : state) {
        quorl::SlidingWindowAsrManager manager(quorl::SlidingWindowAsrConfig::streaming());
        manager.loadModels(models());
        manager.startStreaming(quorl::AudioSource::microphone);
        for (const auto& buffer : buffers) {
            manager.streamAudio(buffer);
        }
        benchmark::DoNotOptimize(manager.finish());
    }
    state.counters["per audio second"] =
        benchmark::Counter(streamSeconds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_StreamMinuteAt16kHz(benchmark::State& state) { streamMinute(state, 16000); }
BENCHMARK(BM_StreamMinuteAt16kHz)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StreamMinuteAt48kHz(benchmark::State& state) { streamMinute(state, 48000); }
BENCHMARK(BM_StreamMinuteAt48kHz)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the capture thread pays per buffer: handing it over, while the worker converts and decodes behind it.
// One minute of 48 kHz buffers per run, so the worker's backlog stays that of a dictation.
const std::vector<quorl::SlidingWindowAsrManager::AudioBuffer>& minuteAt48kHz() {
    static const auto buffers = capturedMinute(48000);
    return buffers;
}

void BM_StreamAudioCall(benchmark::State& state) {
    const auto& buffers = minuteAt48kHz();
    quorl::SlidingWindowAsrManager manager(quorl::SlidingWindowAsrConfig::streaming());
    manager.loadModels(models());
    manager.startStreaming(quorl::AudioSource::microphone);
    std::size_t next = 0;
    for (auto _ : state) {
        manager.streamAudio(buffers[next++]);
    }
    benchmark::DoNotOptimize(manager.finish());
}
BENCHMARK(BM_StreamAudioCall)
    ->Unit(benchmark::kNanosecond)
    ->Iterations(static_cast<benchmark::IterationCount>(streamSeconds * 48000 / bufferFrames));

} // namespace
