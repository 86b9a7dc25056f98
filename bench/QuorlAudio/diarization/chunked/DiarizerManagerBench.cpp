#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include "QuorlAudio/diarization/chunked/DiarizerManager.hpp"

#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr std::size_t frames = 589;
constexpr std::size_t chunks = 60;

// A segmentation model that costs nothing: the same scores for every chunk, three speakers taking turns.
class TrivialSegmentation : public platform::ml::Kernel {
public:
    TrivialSegmentation() {
        for (std::size_t frame = 0; frame < frames; ++frame) {
            scores_->at<float>({0, frame, 1 + frame / 200}) = 1.0f;
        }
    }

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"segments", scores_}};
    }

private:
    std::shared_ptr<MultiArray> scores_ =
        std::make_shared<MultiArray>(MultiArray::Shape{1, frames, 7}, DataType::float32);
};

// An embedding model that answers at once with one fixed voice per local speaker, told apart by where its mask
// starts.
class TrivialEmbedding : public platform::ml::Kernel {
public:
    TrivialEmbedding() {
        for (std::size_t speaker = 0; speaker < voices_.size(); ++speaker) {
            voices_[speaker]->at<float>({0, speaker * 16}) = 1.0f;
        }
    }

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        const auto mask = input.featureValue("mask")->multiArrayValue();
        const float* row = mask->data<float>();
        std::size_t first = 0;
        while (first < frames && row[first] == 0.0f) {
            ++first;
        }
        return {{"embedding", voices_[std::min<std::size_t>(first / 200, 2)]}};
    }

private:
    std::vector<std::shared_ptr<MultiArray>> voices_{
        std::make_shared<MultiArray>(MultiArray::Shape{1, 256}, DataType::float32),
        std::make_shared<MultiArray>(MultiArray::Shape{1, 256}, DataType::float32),
        std::make_shared<MultiArray>(MultiArray::Shape{1, 256}, DataType::float32)};
};

quorl::DiarizerModels trivialModels(const benchsupport::BundleFolder& folder) {
    using benchsupport::feature;
    platform::ml::registerKernel("chunked-bench-segmentation",
                                 [](const auto&) { return std::make_unique<TrivialSegmentation>(); });
    platform::ml::registerKernel("chunked-bench-embedding",
                                 [](const auto&) { return std::make_unique<TrivialEmbedding>(); });
    return {.segmentationModel =
                folder.load("pyannote_segmentation.mlmodelc",
                            benchsupport::manifest("chunked-bench-segmentation",
                                                   nlohmann::json::array({feature("audio", {1, 1, 160000})}),
                                                   nlohmann::json::array({feature("segments", {1, frames, 7})}))),
            .embeddingModel =
                folder.load("wespeaker_v2.mlmodelc",
                            benchsupport::manifest("chunked-bench-embedding",
                                                   {feature("waveform", {3, 160000}), feature("mask", {3, frames})},
                                                   nlohmann::json::array({feature("embedding", {1, 256})}))),
            .compilationDuration = 0};
}

// The pipeline's own work per chunk around models that answer at once: loading the chunk, filling the model
// inputs, the powerset conversion, masks, three embeddings, speaker assignment and the timed turns. Ten minutes
// of audio (60 chunks) per iteration; items are chunks.
void BM_DiarizeChunks(benchmark::State& state) {
    const benchsupport::BundleFolder folder("chunked-diarizer-bench");
    quorl::DiarizerManager manager;
    manager.initialize(trivialModels(folder));
    const std::vector<float> audio(chunks * 160000, 0.1f);
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager.performCompleteDiarization(audio));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(chunks));
}
BENCHMARK(BM_DiarizeChunks)->Unit(benchmark::kMillisecond);

} // namespace
