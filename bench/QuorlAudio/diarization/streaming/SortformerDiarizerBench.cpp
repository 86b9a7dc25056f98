#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include "QuorlAudio/diarization/streaming/SortformerDiarizer.hpp"
#include "QuorlAudio/diarization/streaming/SortformerStateUpdater.hpp"
#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using quorl::SortformerConfig;

constexpr std::size_t speakers = SortformerConfig::numSpeakers;
constexpr std::size_t dims = SortformerConfig::preEncoderDims;

std::size_t lengthOf(const platform::ml::FeatureProvider& input, const std::string& name) {
    return static_cast<std::size_t>(input.featureValue(name)->multiArrayValue()->value(0));
}

// Speakers taking turns every few frames, so the cache compression has real choices to make.
void fillTurns(float* predictions, std::size_t frames) {
    for (std::size_t frame = 0; frame < frames; ++frame) {
        predictions[frame * speakers + (frame / 5) % speakers] = 0.9f;
    }
}

class TrivialSortformer : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        const std::size_t frames = (lengthOf(input, "chunk_lengths") + 7) / 8;
        const std::size_t all = lengthOf(input, "spkcache_lengths") + lengthOf(input, "fifo_lengths") + frames;
        auto predictions = std::make_shared<MultiArray>(MultiArray::Shape{1, all, speakers}, DataType::float32);
        fillTurns(predictions->data<float>(), all);
        auto embeddings = std::make_shared<MultiArray>(MultiArray::Shape{1, frames, dims}, DataType::float32);
        auto length = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
        length->at<std::int32_t>(0) = static_cast<std::int32_t>(frames);
        return {{"speaker_preds", predictions},
                {"chunk_pre_encoder_embs", embeddings},
                {"chunk_pre_encoder_lengths", length}};
    }
};

quorl::SortformerModels trivialModels(const benchsupport::BundleFolder& folder, const SortformerConfig& config) {
    platform::ml::registerKernel("sortformer-bench", [](const auto&) { return std::make_unique<TrivialSortformer>(); });
    using benchsupport::feature;
    const auto frames = [](int count) { return static_cast<std::size_t>(count); };
    const auto model = folder.load("Sortformer.mlmodelc",
                                   benchsupport::manifest("sortformer-bench",
                                                          {feature("chunk", {1, frames(config.chunkMelFrames()), 128}),
                                                           feature("chunk_lengths", {1}, DataType::int32),
                                                           feature("spkcache", {1, frames(config.spkcacheLen), dims}),
                                                           feature("spkcache_lengths", {1}, DataType::int32),
                                                           feature("fifo", {1, frames(config.fifoLen), dims}),
                                                           feature("fifo_lengths", {1}, DataType::int32)},
                                                          nlohmann::json::array()));
    return quorl::SortformerModels(config, model, 0);
}

// The diarizer's own work per chunk around a trivial model on the default preset: log-mel frames, the model
// inputs, the state update with its cache compressions, and the timeline. The "rtf" counter is seconds of
// work per second of audio.
void BM_SortformerChunk(benchmark::State& state) {
    const auto& config = SortformerConfig::defaultConfig();
    const benchsupport::BundleFolder folder("sortformer-bench");
    quorl::SortformerDiarizer diarizer(config);
    diarizer.initialize(trivialModels(folder, config));
    const std::size_t hop = static_cast<std::size_t>(config.coreFrames()) * SortformerConfig::melStride;
    std::vector<float> audio(hop);
    for (std::size_t index = 0; index < audio.size(); ++index) {
        audio[index] = 0.3f * std::sin(0.1f * static_cast<float>(index));
    }
    std::int64_t chunks = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(diarizer.process(audio, std::nullopt));
        if (++chunks % 2000 == 0) {
            diarizer.reset();
        }
    }
    state.SetItemsProcessed(chunks);
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(chunks) * static_cast<double>(hop) / 16000.0,
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SortformerChunk);

// A ten-minute recording diarized in one call: the mel frames of the whole recording, every window through
// the trivial model and the state update, and the timeline rebuilt from the predictions.
void BM_SortformerProcessCompleteTenMinutes(benchmark::State& state) {
    const auto& config = SortformerConfig::defaultConfig();
    const benchsupport::BundleFolder folder("sortformer-complete-bench");
    quorl::SortformerDiarizer diarizer(config);
    diarizer.initialize(trivialModels(folder, config));
    std::vector<float> audio(600 * 16000);
    for (std::size_t index = 0; index < audio.size(); ++index) {
        audio[index] = 0.3f * std::sin(0.1f * static_cast<float>(index));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(diarizer.processComplete(audio, std::nullopt, {.keepingEnrolledSpeakers = false}));
    }
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) * 600.0,
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SortformerProcessCompleteTenMinutes)->Unit(benchmark::kMillisecond);

// The state update alone for the high-context preset, in the steady state where the FIFO overflows into a
// full speaker cache on every chunk.
void BM_SortformerUpdateHighContext(benchmark::State& state) {
    const auto& config = SortformerConfig::highContextV2();
    const quorl::SortformerStateUpdater updater(config);
    quorl::SortformerStreamingState streaming(config);
    const std::size_t chunkFrames =
        static_cast<std::size_t>(config.chunkLeftContext + config.chunkLen + config.chunkRightContext);
    const std::vector<float> embeddings(chunkFrames * dims, 0.5f);
    std::vector<float> predictions;
    std::int64_t updates = 0;
    for (auto _ : state) {
        const std::size_t frames =
            static_cast<std::size_t>(streaming.spkcacheLength + streaming.fifoLength) + chunkFrames;
        predictions.assign(frames * speakers, 0.05f);
        fillTurns(predictions.data(), frames);
        benchmark::DoNotOptimize(updater.streamingUpdate(streaming, embeddings, predictions, config.chunkLeftContext,
                                                         config.chunkRightContext));
        ++updates;
    }
    const double chunkSeconds = static_cast<double>(config.chunkLen) * config.frameDurationSeconds();
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(updates) * chunkSeconds,
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SortformerUpdateHighContext);

} // namespace
