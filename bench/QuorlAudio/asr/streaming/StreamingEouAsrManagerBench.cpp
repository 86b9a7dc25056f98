#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"
#include "bench/QuorlAudio/asr/streaming/ToneBuffer.hpp"

#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"
#include "QuorlAudio/asr/streaming/RnntDecoder.hpp"
#include "QuorlAudio/asr/streaming/StreamingChunkSize.hpp"
#include "QuorlAudio/asr/streaming/StreamingEouAsrManager.hpp"

#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <fstream>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using quorl::StreamingChunkSize;

constexpr std::size_t encoderHidden = 512;

// Returns one prepared block of encoder frames and hands the caches back as their own updates.
class TrivialEouEncoder : public platform::ml::Kernel {
public:
    explicit TrivialEouEncoder(std::size_t frames)
        : encoded_(std::make_shared<MultiArray>(MultiArray::Shape{1, encoderHidden, frames}, DataType::float32)) {}

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {
            {"encoded_output", encoded_},
            {"new_pre_cache", *input.featureValue("pre_cache")},
            {"new_cache_last_channel", *input.featureValue("cache_last_channel")},
            {"new_cache_last_time", *input.featureValue("cache_last_time")},
            {"new_cache_last_channel_len", *input.featureValue("cache_last_channel_len")},
        };
    }

private:
    std::shared_ptr<MultiArray> encoded_;
};

// A fixed prediction output; the recurrent state passes through.
class TrivialEouDecoder : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {
            {"decoder", prediction_}, {"h_out", *input.featureValue("h_in")}, {"c_out", *input.featureValue("c_in")}};
    }

private:
    std::shared_ptr<MultiArray> prediction_ =
        std::make_shared<MultiArray>(MultiArray::Shape{1, 640, 1}, DataType::float32);
};

// A word piece on every eighth step, blank otherwise, so partial transcripts are decoded now and then.
class TrivialEouJoint : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        auto token = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
        token->data<std::int32_t>()[0] = steps_++ % 8 == 7 ? 1 : quorl::RnntDecoder::blankId;
        return {{"token_id", token}};
    }

private:
    std::atomic<int> steps_ = 0;
};

using benchsupport::feature;
using benchsupport::manifest;
using benchsupport::toneBuffer;

// Writes the model folder of one geometry with the trivial kernels and a two-piece vocabulary.
void writeModels(const benchsupport::BundleFolder& folder, StreamingChunkSize chunkSize) {
    const auto frames = static_cast<std::size_t>(quorl::validOutputLen(chunkSize));
    platform::ml::registerKernel("eou-bench-encoder",
                                 [frames](const auto&) { return std::make_unique<TrivialEouEncoder>(frames); });
    platform::ml::registerKernel("eou-bench-decoder",
                                 [](const auto&) { return std::make_unique<TrivialEouDecoder>(); });
    platform::ml::registerKernel("eou-bench-joint", [](const auto&) { return std::make_unique<TrivialEouJoint>(); });
    folder.load("streaming_encoder.mlmodelc",
                manifest("eou-bench-encoder",
                         {feature("audio_signal", {1, 128, static_cast<std::size_t>(quorl::melFrames(chunkSize))}),
                          feature("audio_length", {1}, DataType::int32),
                          feature("pre_cache", {1, 128, static_cast<std::size_t>(quorl::preCacheSize(chunkSize))}),
                          feature("cache_last_channel", {17, 1, 70, 512}), feature("cache_last_time", {17, 1, 512, 8}),
                          feature("cache_last_channel_len", {1}, DataType::int32)},
                         nlohmann::json::array()));
    folder.load("decoder.mlmodelc", benchsupport::decoderManifest("eou-bench-decoder", 1));
    folder.load("joint_decision.mlmodelc", benchsupport::jointManifest("eou-bench-joint", encoderHidden));
    std::ofstream(folder.path() / "vocab.json") << R"({"1": "\u2581word"})";
}

// The engine's own work per chunk around trivial models: conversion, mel features, the encoder inputs and
// caches, the decoder's steps and the partial transcripts. An utterance ends every 64 chunks. The "rtf"
// counter is seconds of work per second of audio.
void BM_StreamingEouChunk(benchmark::State& state) {
    const auto chunkSize = static_cast<StreamingChunkSize>(state.range(0));
    const benchsupport::BundleFolder folder("eou-bench");
    writeModels(folder, chunkSize);
    quorl::StreamingEouAsrManager engine(quorl::StreamingEouAsrManager::Config{
        .configuration = {}, .chunkSize = chunkSize, .eouDebounceMs = 1280, .debugFeatures = false});
    engine.loadModels(folder.path());
    std::size_t transcriptLength = 0;
    engine.setPartialCallback([&](const std::string& text) { transcriptLength = text.size(); });
    const auto shift = static_cast<std::size_t>(quorl::shiftSamples(chunkSize));
    const auto buffer = toneBuffer(shift);
    engine.appendAudio(*toneBuffer(static_cast<std::size_t>(quorl::chunkSamples(chunkSize)) - shift));
    std::int64_t chunks = 0;
    for (auto _ : state) {
        engine.appendAudio(*buffer);
        engine.processBufferedAudio();
        if (++chunks % 64 == 0) {
            benchmark::DoNotOptimize(engine.finish());
        }
    }
    benchmark::DoNotOptimize(transcriptLength);
    state.SetItemsProcessed(chunks);
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(chunks) * static_cast<double>(shift) / 16000.0,
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StreamingEouChunk)
    ->ArgName("geometry")
    ->Arg(static_cast<int>(StreamingChunkSize::ms160))
    ->Arg(static_cast<int>(StreamingChunkSize::ms320))
    ->Arg(static_cast<int>(StreamingChunkSize::ms1280));

// The cache-aware mel tensor of one second of audio, in one piece. The "rtf" counter as above.
void BM_NemotronMelPerSecond(benchmark::State& state) {
    const auto extractor = quorl::NemotronMelExtractor::make();
    const auto second = toneBuffer(16000);
    const std::span<const float> samples(second->floatChannelData()[0], 16000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(extractor.melSpectrogram(samples));
    }
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_NemotronMelPerSecond);

} // namespace
