#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include "QuorlAudio/vad/VadManager.hpp"

#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

// One hour of 16 kHz audio, and the 4096-sample blocks it makes.
constexpr std::size_t hourSamples = 3600 * 16000;
constexpr std::size_t hourBlocks = (hourSamples + quorl::VadManager::chunkSize - 1) / quorl::VadManager::chunkSize;

// A voice-activity model that costs nothing: a fixed probability, and the recurrent states handed straight back.
class TrivialVadModel : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"vad_output", probability_},
                {"new_hidden_state", *input.featureValue("hidden_state")},
                {"new_cell_state", *input.featureValue("cell_state")}};
    }

private:
    std::shared_ptr<MultiArray> probability_ = std::make_shared<MultiArray>(MultiArray::Shape{1, 1}, DataType::float32);
};

std::shared_ptr<platform::ml::Model> trivialVadModel(const benchsupport::BundleFolder& folder) {
    using benchsupport::feature;
    platform::ml::registerKernel("vad-bench-model", [](const auto&) { return std::make_unique<TrivialVadModel>(); });
    return folder.load("vad-bench-model.mlmodelc",
                       benchsupport::manifest("vad-bench-model",
                                              {feature("audio_input", {1, 4160}), feature("hidden_state", {1, 128}),
                                               feature("cell_state", {1, 128})},
                                              {feature("vad_output", {1, 1}), feature("new_hidden_state", {1, 128}),
                                               feature("new_cell_state", {1, 128})}));
}

// Speech of varying length between silences, with a probability dip now and then: segments end, split at their
// maximum and are padded.
std::vector<quorl::VadResult> speechLikeResults() {
    std::vector<quorl::VadResult> results(hourBlocks);
    for (std::size_t block = 0; block < hourBlocks; ++block) {
        const std::size_t phase = block % 97;
        const float speech = phase < 70 ? 0.95f : 0.05f;
        results[block].probability = block % 13 == 0 ? 0.5f : speech;
    }
    return results;
}

// The manager's own work per block around a model that answers at once: shaping the block, filling the pooled
// inputs, finding the outputs and carrying the state, over one hour of audio per iteration. The "rtf" counter is
// seconds of work per second of audio.
void BM_VadProcessOneHour(benchmark::State& state) {
    const benchsupport::BundleFolder folder("vad-bench");
    quorl::VadManager manager(quorl::VadConfig::defaultConfig(), trivialVadModel(folder));
    std::vector<float> audio(hourSamples);
    for (std::size_t index = 0; index < audio.size(); ++index) {
        audio[index] = 0.1f * std::sin(static_cast<float>(index) * 0.01f);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager.processAudioSamples(audio));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(hourBlocks));
    state.counters["rtf"] = benchmark::Counter(static_cast<double>(state.iterations()) * 3600.0,
                                               benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_VadProcessOneHour)->Unit(benchmark::kMillisecond);

// Segmentation of one hour of block probabilities with the default configuration.
void BM_VadSegmentOneHour(benchmark::State& state) {
    const benchsupport::BundleFolder folder("vad-bench-segments");
    const quorl::VadManager manager(quorl::VadConfig::defaultConfig(), trivialVadModel(folder));
    const auto results = speechLikeResults();
    std::size_t segments = 0;
    for (auto _ : state) {
        const auto found = manager.segmentSpeech(results, static_cast<std::int64_t>(hourSamples));
        segments = found.size();
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(hourBlocks));
    state.counters["segments"] = static_cast<double>(segments);
}
BENCHMARK(BM_VadSegmentOneHour)->Unit(benchmark::kMicrosecond);

} // namespace
