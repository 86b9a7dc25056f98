#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"
#include "bench/QuorlAudio/asr/streaming/ToneBuffer.hpp"

#include "QuorlAudio/asr/streaming/NemotronStreamingConfig.hpp"
#include "QuorlAudio/asr/streaming/StreamingNemotronAsrManager.hpp"

#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <fstream>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using quorl::NemotronStreamingConfig;

constexpr std::size_t encoderWidth = 1024;

std::vector<std::size_t> sizes(const std::vector<std::int64_t>& shape) { return {shape.begin(), shape.end()}; }

// Returns one prepared block of encoder frames and hands the caches back as their own updates.
class TrivialNemotronEncoder : public platform::ml::Kernel {
public:
    explicit TrivialNemotronEncoder(std::size_t frames)
        : encoded_(std::make_shared<MultiArray>(MultiArray::Shape{1, encoderWidth, frames}, DataType::float32)) {
        std::fill_n(encoded_->data<float>(), encoded_->count(), 0.5f);
    }

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {
            {"encoded", encoded_},
            {"cache_channel_out", *input.featureValue("cache_channel")},
            {"cache_time_out", *input.featureValue("cache_time")},
            {"cache_len_out", *input.featureValue("cache_len")},
        };
    }

private:
    std::shared_ptr<MultiArray> encoded_;
};

// A fixed prediction output; the recurrent state passes through.
class TrivialNemotronDecoder : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {
            {"decoder_out", output_}, {"h_out", *input.featureValue("h_in")}, {"c_out", *input.featureValue("c_in")}};
    }

private:
    std::shared_ptr<MultiArray> output_ = std::make_shared<MultiArray>(MultiArray::Shape{1, 640, 1}, DataType::float32);
};

// One-hot logits over the vocabulary and blank: a word piece on every eighth step, blank otherwise.
class TrivialNemotronJoint : public platform::ml::Kernel {
public:
    explicit TrivialNemotronJoint(std::size_t classes)
        : blank_(oneHot(classes, classes - 1)), word_(oneHot(classes, 1)) {}

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"logits", steps_++ % 8 == 7 ? word_ : blank_}};
    }

private:
    static std::shared_ptr<MultiArray> oneHot(std::size_t classes, std::size_t hot) {
        auto logits = std::make_shared<MultiArray>(MultiArray::Shape{1, 1, 1, classes}, DataType::float32);
        std::fill_n(logits->data<float>(), classes, 0.0f);
        logits->data<float>()[hot] = 1.0f;
        return logits;
    }

    std::shared_ptr<MultiArray> blank_;
    std::shared_ptr<MultiArray> word_;
    std::atomic<int> steps_ = 0;
};

using benchsupport::feature;
using benchsupport::manifest;
using benchsupport::toneBuffer;

// Writes the model folder of one geometry with the trivial kernels, a one-piece vocabulary and, for chunks
// other than the built-in 2240 ms, "metadata.json".
void writeModels(const benchsupport::BundleFolder& folder, const NemotronStreamingConfig& geometry) {
    const auto frames = static_cast<std::size_t>(geometry.chunkMs / 80);
    const auto classes = static_cast<std::size_t>(geometry.blankIdx) + 1;
    platform::ml::registerKernel("nemotron-bench-encoder",
                                 [frames](const auto&) { return std::make_unique<TrivialNemotronEncoder>(frames); });
    platform::ml::registerKernel("nemotron-bench-decoder",
                                 [](const auto&) { return std::make_unique<TrivialNemotronDecoder>(); });
    platform::ml::registerKernel("nemotron-bench-joint",
                                 [classes](const auto&) { return std::make_unique<TrivialNemotronJoint>(classes); });
    const std::vector<std::size_t> state{2, 1, 640};
    folder.load(
        "encoder/encoder_int8.mlmodelc",
        manifest("nemotron-bench-encoder",
                 {feature("mel", {1, 128, static_cast<std::size_t>(geometry.totalMelFrames)}),
                  feature("mel_length", {1}, DataType::int32),
                  feature("cache_channel", sizes(geometry.cacheChannelShape)),
                  feature("cache_time", sizes(geometry.cacheTimeShape)), feature("cache_len", {1}, DataType::int32)},
                 nlohmann::json::array()));
    folder.load("decoder.mlmodelc",
                manifest("nemotron-bench-decoder",
                         {feature("token", {1, 1}, DataType::int32), feature("token_length", {1}, DataType::int32),
                          feature("h_in", state), feature("c_in", state)},
                         nlohmann::json::array()));
    folder.load("joint.mlmodelc", manifest("nemotron-bench-joint",
                                           {feature("encoder", {1, encoderWidth, 1}), feature("decoder", {1, 640, 1})},
                                           nlohmann::json::array()));
    std::ofstream(folder.path() / "tokenizer.json") << R"({"1": "\u2581word"})";
    if (geometry != NemotronStreamingConfig{}) {
        std::ofstream(folder.path() / "metadata.json") << nlohmann::json{
            {"chunk_mel_frames", geometry.chunkMelFrames},
            {"chunk_ms", geometry.chunkMs},
            {"total_mel_frames", geometry.totalMelFrames}}.dump();
    }
}

// The engine's own work per chunk around trivial models: intake, mel features, the mel-cache prepend and
// carry, the encoder inputs, one decoding step per frame (two predictions each) and the partial transcripts.
// An utterance ends every 64 chunks. The "rtf" counter is seconds of work per second of audio.
void BM_StreamingNemotronChunk(benchmark::State& state) {
    const auto chunkMs = state.range(0);
    NemotronStreamingConfig geometry;
    geometry.chunkMs = chunkMs;
    geometry.chunkMelFrames = chunkMs / 10;
    geometry.totalMelFrames = geometry.preEncodeCache + geometry.chunkMelFrames;
    const benchsupport::BundleFolder folder("nemotron-bench");
    writeModels(folder, geometry);
    quorl::StreamingNemotronAsrManager engine;
    engine.loadModels(folder.path());
    std::size_t transcriptLength = 0;
    engine.setPartialCallback([&](const std::string& text) { transcriptLength = text.size(); });
    const auto buffer = toneBuffer(static_cast<std::size_t>(geometry.chunkMelFrames) * 160);
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
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(chunks) * static_cast<double>(chunkMs) / 1000.0,
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StreamingNemotronChunk)->ArgName("chunkMs")->Arg(2240)->Arg(1120)->Arg(560)->Unit(benchmark::kMicrosecond);

} // namespace
