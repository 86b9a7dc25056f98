#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"
#include "bench/QuorlAudio/asr/streaming/ToneBuffer.hpp"

#include "QuorlAudio/asr/streaming/StreamingUnifiedAsrManager.hpp"
#include "QuorlAudio/asr/streaming/UnifiedAsrManager.hpp"
#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"

#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using quorl::UnifiedConfig;

constexpr std::size_t encoderWidth = 1024;
constexpr std::size_t melFramesPerEncoderFrame = 8;

// Returns prepared frames, one per 8 mel frames of the window, and declares those of the real audio valid.
class TrivialUnifiedEncoder : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        const std::size_t frames = input.featureValue("mel")->multiArrayValue()->shape()[2] / melFramesPerEncoderFrame;
        if (!encoded_ || encoded_->shape()[2] != frames) {
            encoded_ = std::make_shared<MultiArray>(MultiArray::Shape{1, encoderWidth, frames}, DataType::float32);
            std::fill_n(encoded_->data<float>(), encoded_->count(), 0.5f);
        }
        const auto validMel = static_cast<std::int32_t>(input.featureValue("mel_length")->multiArrayValue()->value(0));
        auto length = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
        length->data<std::int32_t>()[0] = (validMel + 7) / 8;
        return {{"encoder", encoded_}, {"encoder_length", length}};
    }

private:
    std::shared_ptr<MultiArray> encoded_;
};

// A fixed output; the recurrent state passes through.
class TrivialUnifiedDecoder : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"decoder", output_}, {"h_out", *input.featureValue("h_in")}, {"c_out", *input.featureValue("c_in")}};
    }

private:
    std::shared_ptr<MultiArray> output_ = std::make_shared<MultiArray>(MultiArray::Shape{1, 640, 1}, DataType::float32);
};

// A word piece on every eighth step, blank otherwise.
class TrivialUnifiedJoint : public platform::ml::Kernel {
public:
    TrivialUnifiedJoint() : blank_(token(1024)), word_(token(1)) {}

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"token_id", steps_++ % 8 == 7 ? word_ : blank_}, {"token_prob", prob_}};
    }

private:
    static std::shared_ptr<MultiArray> token(std::int32_t id) {
        auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
        array->data<std::int32_t>()[0] = id;
        return array;
    }

    std::shared_ptr<MultiArray> blank_;
    std::shared_ptr<MultiArray> word_;
    std::shared_ptr<MultiArray> prob_ = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::float32);
    std::atomic<int> steps_ = 0;
};

using benchsupport::feature;
using benchsupport::manifest;

// Writes a unified model set with the trivial kernels: the streaming encoder of the geometry, the offline
// encoder, the decoder, the joint decision and a one-piece vocabulary.
void writeModels(const benchsupport::BundleFolder& folder, const UnifiedConfig& config) {
    platform::ml::registerKernel("unified-bench-encoder",
                                 [](const auto&) { return std::make_unique<TrivialUnifiedEncoder>(); });
    platform::ml::registerKernel("unified-bench-decoder",
                                 [](const auto&) { return std::make_unique<TrivialUnifiedDecoder>(); });
    platform::ml::registerKernel("unified-bench-joint",
                                 [](const auto&) { return std::make_unique<TrivialUnifiedJoint>(); });
    const auto encoder = [](std::int64_t windowSamples) {
        return manifest("unified-bench-encoder",
                        {feature("mel", {1, 128, static_cast<std::size_t>(windowSamples / 160 + 1)}),
                         feature("mel_length", {1}, DataType::int32)},
                        nlohmann::json::array());
    };
    folder.load("parakeet_unified_encoder_streaming_" + config.contextSuffix() + "_int8.mlmodelc",
                encoder(config.windowSamples()));
    folder.load("parakeet_unified_encoder_int8.mlmodelc", encoder(240000));
    const std::vector<std::size_t> state{2, 1, 640};
    folder.load("parakeet_unified_decoder.mlmodelc",
                manifest("unified-bench-decoder",
                         {feature("targets", {1, 1}, DataType::int32), feature("target_length", {1}, DataType::int32),
                          feature("h_in", state), feature("c_in", state)},
                         nlohmann::json::array()));
    folder.load("parakeet_unified_joint_decision_single_step.mlmodelc",
                manifest("unified-bench-joint",
                         {feature("encoder_step", {1, encoderWidth, 1}), feature("decoder_step", {1, 640, 1})},
                         nlohmann::json::array()));
    std::ofstream(folder.path() / "vocab.json") << R"({"1": "\u2581word"})";
}

// The streaming engine's own work per window around trivial models: intake, the window copy, mel features
// and their normalisation, the encoder inputs, greedy decoding of the chunk (a decoder and a joint step per
// frame and per token), timings, the partial transcript and trimming. Each iteration appends one chunk and
// decodes the one window it completes; an utterance ends every 64 windows. "rtf" is seconds of work per
// second of audio.
void BM_StreamingUnifiedWindow(benchmark::State& state) {
    const UnifiedConfig config{.chunkFrames = state.range(0), .rightFrames = state.range(1)};
    const benchsupport::BundleFolder folder("unified-streaming-bench");
    writeModels(folder, config);
    quorl::StreamingUnifiedAsrManager engine({.configuration = std::nullopt, .config = config});
    engine.loadModels(folder.path());
    std::size_t transcriptLength = 0;
    engine.setPartialTranscriptCallback([&](const std::string& text) { transcriptLength = text.size(); });
    const auto buffer = benchsupport::toneBuffer(static_cast<std::size_t>(config.chunkSamples()));
    std::int64_t windows = 0;
    for (auto _ : state) {
        engine.appendAudio(*buffer);
        engine.processBufferedAudio();
        if (++windows % 64 == 0) {
            benchmark::DoNotOptimize(engine.finish());
            engine.reset();
        }
    }
    benchmark::DoNotOptimize(transcriptLength);
    state.SetItemsProcessed(windows);
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(windows * config.chunkSamples()) / 16000.0,
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StreamingUnifiedWindow)
    ->ArgNames({"chunk", "right"})
    ->Args({13, 13})
    ->Args({2, 2})
    ->Unit(benchmark::kMillisecond);

// Ten minutes through the offline recogniser around trivial models: 47 windows of 15 s, each padded, turned
// into mel features, encoded and decoded from a fresh state, then merged at the seams into one text.
void BM_UnifiedOfflineTenMinutes(benchmark::State& state) {
    const benchsupport::BundleFolder folder("unified-offline-bench");
    writeModels(folder, {});
    quorl::UnifiedAsrManager recogniser;
    recogniser.loadModels(folder.path());
    std::vector<float> samples(16000 * 600);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.3f * std::sin(2.0f * 3.14159265f * 440.0f * static_cast<float>(i % 16000) / 16000.0f);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(recogniser.transcribe(samples));
    }
    state.counters["rtf"] =
        benchmark::Counter(600.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_UnifiedOfflineTenMinutes)->Unit(benchmark::kMillisecond);

} // namespace
