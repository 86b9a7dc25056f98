#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"
#include "QuorlAudio/foundation/AudioSource.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/MultiArray.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <utility>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr std::size_t windowSamples = 240000;
constexpr std::size_t windowFrames = 188;
// The fused front end of the tdtCtc110m set: one model from audio to encoder frames.
constexpr std::size_t encoderHiddenSize = 512;
constexpr std::size_t decoderLayers = 1;
constexpr int blankId = 1024;
constexpr std::uint32_t bufferFrames = 1024;
constexpr double streamSeconds = 60;

// A front end that hands the same prepared window of encoder frames on, whatever audio it is given.
class TrivialFrontEnd : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"encoder", FeatureValue(encoder_)}, {"encoder_length", FeatureValue(length_)}};
    }

private:
    std::shared_ptr<MultiArray> encoder_ =
        std::make_shared<MultiArray>(MultiArray::Shape{1, encoderHiddenSize, windowFrames}, DataType::float32);
    std::shared_ptr<MultiArray> length_ = [] {
        auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
        array->at<std::int32_t>(0) = static_cast<std::int32_t>(windowFrames);
        return array;
    }();
};

quorl::AsrModels trivialModels(const benchsupport::BundleFolder& folder) {
    using benchsupport::feature;
    platform::ml::registerKernel("bench-streaming-front-end",
                                 [](const auto&) { return std::make_unique<TrivialFrontEnd>(); });
    platform::ml::registerKernel("bench-streaming-decoder",
                                 [](const auto&) { return std::make_unique<benchsupport::TrivialDecoder>(); });
    platform::ml::registerKernel("bench-streaming-joint",
                                 [](const auto&) { return std::make_unique<benchsupport::TrivialJoint>(blankId); });
    return quorl::AsrModels{
        .encoder = nullptr,
        .preprocessor = folder.load("FrontEnd.mlmodelc",
                                    benchsupport::manifest("bench-streaming-front-end",
                                                           {feature("audio_signal", {1, windowSamples}),
                                                            feature("audio_length", {1}, DataType::int32)},
                                                           {feature("encoder", {1, encoderHiddenSize, windowFrames}),
                                                            feature("encoder_length", {1}, DataType::int32)})),
        .decoder = folder.load("Decoder.mlmodelc",
                               benchsupport::decoderManifest("bench-streaming-decoder", decoderLayers)),
        .joint = folder.load("Joint.mlmodelc", benchsupport::jointManifest("bench-streaming-joint", encoderHiddenSize)),
        .ctcHead = nullptr,
        .configuration = {},
        .vocabulary = {},
        .version = quorl::AsrModelVersion::tdtCtc110m,
    };
}

const quorl::AsrModels& models() {
    static const benchsupport::BundleFolder folder("sliding-window-bench");
    static const quorl::AsrModels loaded = trivialModels(folder);
    return loaded;
}

// A minute of a 440 Hz tone, mono Float32 at the rate, cut into capture-sized buffers.
std::vector<quorl::SlidingWindowAsrManager::AudioBuffer> capturedMinute(double sampleRate) {
    const auto format = platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, sampleRate, 1, false);
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
    state.counters["per audio second"] = benchmark::Counter(
        streamSeconds, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
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
