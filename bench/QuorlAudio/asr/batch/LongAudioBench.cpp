#include "TrivialTransducerModels.hpp"

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/Model.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr std::size_t windowSamples = 240000;
constexpr std::size_t windowFrames = 188;
constexpr std::size_t encoderHiddenSize = 1024;
constexpr std::size_t decoderLayers = 2;
constexpr int blankId = 8192;
// Three minutes at 16 kHz: fourteen chunks of the default layout.
constexpr std::size_t recordingSamples = 2880000;
// What a real encoder might take for one window; the recogniser's own work is small beside it.
constexpr std::chrono::milliseconds encoderTime{20};

std::shared_ptr<MultiArray> lengthArray(int length) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->at<std::int32_t>(0) = length;
    return array;
}

class FixedPreprocessor : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"mel", FeatureValue(mel_)}, {"mel_length", FeatureValue(melLength_)}};
    }

private:
    std::shared_ptr<MultiArray> mel_ = std::make_shared<MultiArray>(MultiArray::Shape{1, 128, 16}, DataType::float32);
    std::shared_ptr<MultiArray> melLength_ = lengthArray(1500);
};

// Takes a fixed time per window, then returns a window of frames (all of them blank for the joint).
class SleepingEncoder : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        std::this_thread::sleep_for(encoderTime);
        return {{"encoder", FeatureValue(encoder_)}, {"encoder_length", FeatureValue(length_)}};
    }

private:
    std::shared_ptr<MultiArray> encoder_ = quorl::ANEMemoryUtils::createAlignedArray(
        {1, encoderHiddenSize, windowFrames}, DataType::float32, true);
    std::shared_ptr<MultiArray> length_ = lengthArray(static_cast<int>(windowFrames));
};

quorl::AsrModels longAudioModels(const benchsupport::BundleFolder& folder) {
    using benchsupport::feature;
    using benchsupport::manifest;
    platform::ml::registerKernel("bench-long-audio-preprocessor",
                                 [](const auto&) { return std::make_unique<FixedPreprocessor>(); });
    platform::ml::registerKernel("bench-long-audio-encoder",
                                 [](const auto&) { return std::make_unique<SleepingEncoder>(); });
    platform::ml::registerKernel("bench-long-audio-decoder",
                                 [](const auto&) { return std::make_unique<benchsupport::TrivialDecoder>(); });
    platform::ml::registerKernel("bench-long-audio-joint",
                                 [](const auto&) { return std::make_unique<benchsupport::TrivialJoint>(blankId); });
    const nlohmann::json mel{feature("mel", {1, 128, 16}), feature("mel_length", {1}, DataType::int32)};
    return quorl::AsrModels{
        .encoder = folder.load("Encoder.mlmodelc", manifest("bench-long-audio-encoder", mel,
                                                            {feature("encoder", {1, encoderHiddenSize, windowFrames}),
                                                             feature("encoder_length", {1}, DataType::int32)})),
        .preprocessor = folder.load("Preprocessor.mlmodelc",
                                    manifest("bench-long-audio-preprocessor",
                                             {feature("audio_signal", {1, windowSamples}),
                                              feature("audio_length", {1}, DataType::int32)},
                                             mel)),
        .decoder =
            folder.load("Decoder.mlmodelc", benchsupport::decoderManifest("bench-long-audio-decoder", decoderLayers)),
        .joint =
            folder.load("Joint.mlmodelc", benchsupport::jointManifest("bench-long-audio-joint", encoderHiddenSize)),
        .ctcHead = nullptr,
        .configuration = {},
        .vocabulary = {},
        .version = quorl::AsrModelVersion::v3,
    };
}

const quorl::AsrModels& models() {
    static const benchsupport::BundleFolder folder("long-audio-bench");
    static const quorl::AsrModels made = longAudioModels(folder);
    return made;
}

// Wall time of one three-minute transcription with the worker count of the argument.
void BM_ThreeMinuteTranscription(benchmark::State& state) {
    quorl::ASRConfig config;
    config.parallelChunkConcurrency = static_cast<int>(state.range(0));
    const auto manager = quorl::AsrManager::create(config, models());
    const std::vector<float> recording(recordingSamples, 0.01f);
    quorl::TdtDecoderState decoderState = quorl::TdtDecoderState::make(static_cast<int>(decoderLayers));
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
