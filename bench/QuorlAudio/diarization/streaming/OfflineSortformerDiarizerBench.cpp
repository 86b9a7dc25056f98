#include "QuorlAudio/diarization/streaming/OfflineSortformerDiarizer.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr std::size_t outputFrames = OfflineSortformerConfig::windowOutputFrames;
constexpr std::size_t slots = OfflineSortformerConfig::numSpeakers;

// Stands in for the model: every window answers the same turns of two speakers, so the cost measured is the
// diarizer's own (mel frames, windows, stitching, timeline).
class TurnsKernel : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        auto predictions = std::make_shared<MultiArray>(MultiArray::Shape{1, outputFrames, slots}, DataType::float32);
        float* values = predictions->data<float>();
        for (std::size_t frame = 0; frame < outputFrames; ++frame) {
            values[frame * slots + (frame / 50) % 2] = 0.9f;
        }
        return {{"speaker_preds", FeatureValue(predictions)}};
    }
};

std::vector<float> speechLike(std::size_t samples) {
    std::vector<float> audio(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        audio[i] = 0.3f * std::sin(static_cast<float>(i % 16000) * 0.031f) +
                   0.1f * std::sin(static_cast<float>(i % 7919) * 0.57f);
    }
    return audio;
}

// The model bundle of the kernel: only its name matters, since nothing checks features the kernel ignores.
std::shared_ptr<platform::ml::Model> turnsModel() {
    platform::ml::registerKernel("offline-sortformer-bench",
                                 [](const platform::ml::KernelContext&) { return std::make_unique<TurnsKernel>(); });
    const auto bundle = std::filesystem::temp_directory_path() /
                        ("offline-sortformer-bench-" + std::to_string(getpid())) / "Offline.mlmodelc";
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "coremldata.bin") << "compiled";
    std::ofstream(bundle / "model.json") << R"({"kernel": "offline-sortformer-bench", "inputs": [], "outputs": []})";
    auto model = platform::ml::Model::load(bundle);
    std::filesystem::remove_all(bundle.parent_path());
    return model;
}

void BM_OfflineDiarizationOfOneHour(benchmark::State& state) {
    OfflineSortformerDiarizer diarizer;
    diarizer.initialize(OfflineSortformerModels(OfflineSortformerConfig::offlineV2_1(), turnsModel(), 0));
    const auto audio = speechLike(3600 * 16000);
    for (auto _ : state) {
        auto timeline = diarizer.processComplete(audio);
        benchmark::DoNotOptimize(timeline);
    }
}
BENCHMARK(BM_OfflineDiarizationOfOneHour)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace quorl
