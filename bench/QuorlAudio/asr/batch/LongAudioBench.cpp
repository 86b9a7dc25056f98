#include "TrivialTransducerModels.hpp"

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <utility>
#include <vector>

namespace {

constexpr auto version = quorl::AsrModelVersion::v3;
// Three minutes at 16 kHz: fourteen chunks of the default layout.
constexpr std::size_t recordingSamples = 2880000;
// What a real encoder might take for one window; the recogniser's own work is small beside it.
constexpr std::chrono::milliseconds encoderTime{20};

const quorl::AsrModels& models() {
    static const benchsupport::BundleFolder folder("long-audio-bench");
    static const quorl::AsrModels made =
        benchsupport::trivialModels(folder, {.version = version,
                                             .name = "bench-long-audio",
                                             .validFrames = static_cast<int>(benchsupport::windowFrames),
                                             .encoderDelay = encoderTime});
    return made;
}

// Wall time of one three-minute transcription with the worker count of the argument.
void BM_ThreeMinuteTranscription(benchmark::State& state) {
    quorl::ASRConfig config;
    config.parallelChunkConcurrency = static_cast<int>(state.range(0));
    const auto manager = quorl::AsrManager::create(config, models());
    const std::vector<float> recording(recordingSamples, 0.01f);
    quorl::TdtDecoderState decoderState = quorl::TdtDecoderState::make(quorl::decoderLayers(version));
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<float> samples = recording;
        state.ResumeTiming();
        benchmark::DoNotOptimize(manager->transcribe(std::move(samples), decoderState));
    }
}
BENCHMARK(BM_ThreeMinuteTranscription)
    ->ArgName("workers")
    ->Arg(1)
    ->Arg(4)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
