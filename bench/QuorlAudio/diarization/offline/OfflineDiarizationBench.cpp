#include "QuorlAudio/diarization/offline/OfflineDiarizerManager.hpp"
#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"
#include "QuorlAudio/diarization/offline/OfflineReconstruction.hpp"
#include "QuorlAudio/diarization/offline/OfflineSegmentationProcessor.hpp"
#include "QuorlAudio/diarization/offline/PLDATransform.hpp"
#include "QuorlAudio/diarization/offline/WindowSpeakerEmbeddings.hpp"
#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"
#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using benchsupport::feature;
using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

// The value of each element of a prepared output, by its linear index.
using PreparedValues = std::function<float(std::size_t index)>;

float wave(std::size_t index) { return std::sin(static_cast<float>(index) * 0.37f); }

// Answers every prediction at once with a prepared array under `output`, shaped by the batch's first input
// dimension, so a benchmark measures the stage's own work around the model.
class PreparedKernel : public platform::ml::Kernel {
public:
    PreparedKernel(std::string input, std::string output, MultiArray::Shape perRow, PreparedValues values)
        : input_(std::move(input)), output_(std::move(output)), perRow_(std::move(perRow)), values_(std::move(values)) {
    }

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        const std::size_t rows = input.featureValue(input_)->multiArrayValue()->shape()[0];
        auto& prepared = prepared_[rows];
        if (!prepared) {
            MultiArray::Shape shape{rows};
            shape.insert(shape.end(), perRow_.begin(), perRow_.end());
            prepared = std::make_shared<MultiArray>(shape, DataType::float32);
            float* values = prepared->data<float>();
            for (std::size_t index = 0; index < prepared->count(); ++index) {
                values[index] = values_(index);
            }
        }
        return {{output_, FeatureValue(prepared)}};
    }

private:
    std::string input_;
    std::string output_;
    MultiArray::Shape perRow_;
    PreparedValues values_;
    std::map<std::size_t, std::shared_ptr<MultiArray>> prepared_;
};

std::shared_ptr<platform::ml::Model> preparedModel(const benchsupport::BundleFolder& folder, const std::string& name,
                                                   const std::string& input, const std::string& output,
                                                   const MultiArray::Shape& perRow,
                                                   const nlohmann::json& inputs = nlohmann::json::array(),
                                                   const nlohmann::json& outputs = nlohmann::json::array(),
                                                   const PreparedValues& values = wave) {
    platform::ml::registerKernel(name, [=](const platform::ml::KernelContext&) {
        return std::make_unique<PreparedKernel>(input, output, perRow, values);
    });
    return folder.load(name + ".mlmodelc", benchsupport::manifest(name, inputs, outputs));
}

ArrayAudioSampleSource speechLike(std::size_t samples) {
    std::vector<float> audio(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        audio[i] = 0.3f * std::sin(static_cast<float>(i % 16000) * 0.031f);
    }
    return ArrayAudioSampleSource(std::move(audio));
}

// One batch of 32 windows of 589 frames and 7 classes; the windows are 160 samples long so that preparing
// them costs next to nothing beside decoding.
void BM_SegmentationDecodeOneBatchOf32Windows(benchmark::State& state) {
    const benchsupport::BundleFolder folder("offline-segmentation-decode-bench");
    const auto model = preparedModel(folder, "offline-segmentation-decode", "audio", "segments", {589, 7});
    auto config = OfflineDiarizerConfig::defaultConfig();
    config.segmentation.windowDurationSeconds = 0.01;
    config.segmentation.stepRatio = 1.0;
    const auto source = speechLike(32 * 160);
    const OfflineSegmentationProcessor processor;
    for (auto _ : state) {
        auto output = processor.process(source, *model, config);
        benchmark::DoNotOptimize(output);
    }
}
BENCHMARK(BM_SegmentationDecodeOneBatchOf32Windows)->Unit(benchmark::kMillisecond);

// An hour of audio in default windows (10 s every 2 s: 1800 windows), with a model that answers one frame per
// window, so the time is that of reading, shifting and copying the windows into the batches.
void BM_SegmentationWindowPreparationPerHour(benchmark::State& state) {
    const benchsupport::BundleFolder folder("offline-segmentation-windows-bench");
    const auto model = preparedModel(folder, "offline-segmentation-windows", "audio", "segments", {1, 7});
    const auto source = speechLike(3600 * 16000);
    const OfflineSegmentationProcessor processor;
    for (auto _ : state) {
        auto output = processor.process(source, *model, OfflineDiarizerConfig::defaultConfig());
        benchmark::DoNotOptimize(output);
    }
}
BENCHMARK(BM_SegmentationWindowPreparationPerHour)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PldaTransformOf1000Embeddings(benchmark::State& state) {
    const benchsupport::BundleFolder folder("offline-plda-bench");
    const PLDATransform transform(preparedModel(folder, "offline-plda", "embeddings", "rho", {128}),
                                  std::vector<double>(128, 1.0));
    std::vector<std::vector<float>> embeddings(1000, std::vector<float>(256));
    for (std::size_t i = 0; i < embeddings.size(); ++i) {
        for (std::size_t j = 0; j < 256; ++j) {
            embeddings[i][j] = std::cos(static_cast<float>(i * 256 + j) * 0.01f);
        }
    }
    for (auto _ : state) {
        auto rho = transform.transform(embeddings);
        benchmark::DoNotOptimize(rho);
    }
}
BENCHMARK(BM_PldaTransformOf1000Embeddings)->Unit(benchmark::kMicrosecond);

struct TrivialEmbeddingModels {
    std::shared_ptr<platform::ml::Model> fbank;
    std::shared_ptr<platform::ml::Model> embedding;
    std::shared_ptr<platform::ml::Model> plda;
};

// The embedding stage's three models answering at once: filterbank features of 998 frames by 80 bands, one
// 256-value embedding, 128-value rho vectors.
TrivialEmbeddingModels trivialEmbeddingModels(const benchsupport::BundleFolder& folder) {
    const MultiArray::Shape fbank{1, 998, 80};
    return {
        .fbank = preparedModel(folder, "offline-embedding-fbank", "audio", "fbank_features", {998, 80},
                               nlohmann::json::array({feature("audio", {1, 1, 160000})}),
                               nlohmann::json::array({feature("fbank_features", fbank)})),
        .embedding = preparedModel(folder, "offline-embedding-model", "fbank_features", "embedding", {256},
                                   {feature("fbank_features", fbank), feature("weights", {1, 589})},
                                   nlohmann::json::array({feature("embedding", {1, 256})})),
        .plda = preparedModel(folder, "offline-embedding-plda", "embeddings", "rho", {128}),
    };
}

OfflineEmbeddingExtractor trivialExtractor(const benchsupport::BundleFolder& folder) {
    const auto models = trivialEmbeddingModels(folder);
    return OfflineEmbeddingExtractor(models.fbank, models.embedding,
                                     PLDATransform(models.plda, std::vector<double>(128, 1.0)),
                                     OfflineDiarizerConfig::defaultConfig());
}

// 589 frames of three speakers: the first speaks in frames 0-299, the second in 250-588 (overlapping the first
// for 50 frames), the third in 100-219, which is all overlap, so two masks are embedded and one is rejected.
std::vector<std::vector<float>> threeSpeakerWeights() {
    std::vector<std::vector<float>> rows(589, std::vector<float>(3, 0.0f));
    for (std::size_t frame = 0; frame < rows.size(); ++frame) {
        rows[frame][0] = frame < 300 ? 1.0f : 0.0f;
        rows[frame][1] = frame >= 250 ? 1.0f : 0.0f;
        rows[frame][2] = frame >= 100 && frame < 220 ? 1.0f : 0.0f;
    }
    return rows;
}

// The per-window speaker work: masks, overlap removal, resampling, embedding runs and PLDA batches, for 32
// windows per iteration; "perWindow" is the time of one.
void BM_WindowSpeakerEmbeddingsOf589FramesAndThreeSpeakers(benchmark::State& state) {
    const benchsupport::BundleFolder folder("offline-window-speakers-bench");
    const auto extractor = trivialExtractor(folder);
    const auto features = extractor.runFbankModel(extractor.prepareFbankInput(nullptr, 0));
    const OfflineChunkBatchInfo info{
        .chunkIndex = 0, .chunkOffsetSeconds = 0, .frameDuration = 10.0 / 589, .speakerWeights = threeSpeakerWeights()};
    for (auto _ : state) {
        EmbeddingStatistics statistics;
        WindowSpeakerEmbeddings speakers(
            extractor, [&](const auto& embeddings) { return extractor.pldaTransform().transform(embeddings); },
            statistics);
        for (int window = 0; window < 32; ++window) {
            speakers.processChunk(info, features);
        }
        speakers.flush();
        benchmark::DoNotOptimize(speakers.results());
    }
    state.counters["perWindow"] = benchmark::Counter(static_cast<double>(state.iterations()) * 32,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WindowSpeakerEmbeddingsOf589FramesAndThreeSpeakers)->Unit(benchmark::kMillisecond);

// A whole extraction over an hour of audio in default windows (1800 windows of 10 s every 2 s, each with the
// three speakers above): cutting windows, filterbank batches, speaker masks, embeddings and PLDA.
void BM_EmbeddingExtractionPerHour(benchmark::State& state) {
    const benchsupport::BundleFolder folder("offline-embedding-extraction-bench");
    const auto extractor = trivialExtractor(folder);
    const auto source = speechLike(3600 * 16000);
    const auto weights = threeSpeakerWeights();
    for (auto _ : state) {
        state.PauseTiming();
        auto [stream, continuation] = platform::core::AsyncStream<SegmentationChunk>::makeStream();
        for (std::int64_t index = 0; index < 1800; ++index) {
            continuation.yield(SegmentationChunk{.chunkIndex = index,
                                                 .chunkOffsetSeconds = 2.0 * static_cast<double>(index),
                                                 .frameDuration = 10.0 / 589,
                                                 .logProbs = {},
                                                 .speakerWeights = weights});
        }
        continuation.finish();
        state.ResumeTiming();
        auto records = extractor.extractEmbeddings(source, stream);
        benchmark::DoNotOptimize(records);
    }
}
BENCHMARK(BM_EmbeddingExtractionPerHour)->Unit(benchmark::kMillisecond)->Iterations(3);

// An hour of default windows (1800 of 589 frames, 10 s every 2 s) whose three local speakers belong to ten
// clusters, rebuilt into speaker turns with the default clean-up.
void BM_ReconstructionOfOneHour(benchmark::State& state) {
    SegmentationOutput segmentation;
    segmentation.numChunks = 1800;
    segmentation.numFrames = 589;
    segmentation.frameDuration = 10.0 / 589;
    std::vector<std::vector<std::int64_t>> clusters;
    const auto weights = threeSpeakerWeights();
    for (std::int64_t window = 0; window < 1800; ++window) {
        segmentation.speakerWeights.push_back(weights);
        segmentation.chunkOffsets.push_back(2.0 * static_cast<double>(window));
        clusters.push_back({window / 6 % 10, (window / 6 + 3) % 10, window % 2 == 0 ? -2 : (window / 6 + 7) % 10});
    }
    std::vector<std::vector<double>> centroids(10, std::vector<double>(256));
    for (std::size_t cluster = 0; cluster < centroids.size(); ++cluster) {
        centroids[cluster][cluster] = 1.0;
    }
    const OfflineReconstruction reconstruction(OfflineDiarizerConfig::defaultConfig(),
                                               AppLogger("OfflineReconstruction"));
    for (auto _ : state) {
        auto segments = reconstruction.buildSegments(segmentation, clusters, centroids);
        auto database = reconstruction.buildSpeakerDatabase(segments);
        benchmark::DoNotOptimize(database);
    }
}
BENCHMARK(BM_ReconstructionOfOneHour)->Unit(benchmark::kMillisecond);

// Powerset scores of 589 frames: the first local speaker alone in frames 0-249, with the second in 250-299,
// the second alone from 300 on.
float twoSpeakerScores(std::size_t index) {
    const std::size_t frame = index / 7 % 589;
    const std::size_t winner = frame < 250 ? 1 : frame < 300 ? 4 : 2;
    return index % 7 == winner ? 10.0f : 0.0f;
}

// A whole run over an hour of audio with models that answer at once: what the pipeline itself costs around
// its models (windows, masks, both tasks, clustering, reconstruction). The counter is the real-time factor.
void BM_PipelineOverheadPerHour(benchmark::State& state) {
    const benchsupport::BundleFolder folder("offline-pipeline-bench");
    const auto models = trivialEmbeddingModels(folder);
    OfflineDiarizerManager manager;
    manager.initialize(OfflineDiarizerModels{
        .segmentationModel = preparedModel(folder, "offline-pipeline-segmentation", "audio", "segments", {589, 7},
                                           nlohmann::json::array(), nlohmann::json::array(), twoSpeakerScores),
        .fbankModel = models.fbank,
        .embeddingModel = models.embedding,
        .pldaRhoModel = models.plda,
        .pldaPsi = std::vector<double>(128, 1.0),
    });
    const auto source = speechLike(3600 * 16000);
    for (auto _ : state) {
        auto result = manager.process(source, 0);
        benchmark::DoNotOptimize(result);
    }
    state.counters["RTF"] = benchmark::Counter(static_cast<double>(state.iterations()) * 3600,
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PipelineOverheadPerHour)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
} // namespace quorl
