#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include "QuorlAudio/diarization/streaming/LSEENDDiarizer.hpp"
#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

// A 100 ms step: one output frame of 0.1 s per chunk at 8 kHz, 23 mel bands, 7 frames of context, and a
// recurrent state of realistic size (four encoder and two decoder layers of width 256 with four heads).
quorl::LSEENDMetadata hundredMillisecondGeometry() {
    return quorl::LSEENDMetadata{.chunkSize = 1,
                                 .frameDurationSeconds = 0.1f,
                                 .maxSpeakers = 4,
                                 .sampleRate = 8000,
                                 .maxNspks = 6,
                                 .hopLength = 80,
                                 .winLength = 200,
                                 .nMels = 23,
                                 .contextSize = 7,
                                 .subsampling = 10,
                                 .convDelay = 8,
                                 .nUnits = 256,
                                 .nHeads = 4,
                                 .encNLayers = 4,
                                 .decNLayers = 2,
                                 .convKernelSize = 15};
}

// Speakers taking turns every few chunks; the state passes through unchanged, so the runtime writes nothing
// back and only the diarizer's own work is measured.
class TrivialLSEEND : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        const auto mask = input.featureValue("valid_mask")->multiArrayValue();
        auto probs = std::make_shared<MultiArray>(MultiArray::Shape{1, mask->count(), 4}, DataType::float32);
        probs->at<float>({0, 0, (calls_++ / 20) % 4}) = 0.9f;
        std::map<std::string, FeatureValue> outputs{{"probs", FeatureValue(probs)}};
        for (const char* name : quorl::LSEENDState::inputNames()) {
            outputs.emplace(std::string(name) + "_new", *input.featureValue(name));
        }
        return outputs;
    }

private:
    std::size_t calls_ = 0;
};

std::shared_ptr<quorl::LSEENDModel> trivialModel(const benchsupport::BundleFolder& folder) {
    platform::ml::registerKernel("ls-eend-bench", [](const auto&) { return std::make_unique<TrivialLSEEND>(); });
    const auto metadata = hundredMillisecondGeometry();
    const quorl::LSEENDState state(metadata);
    using benchsupport::feature;
    const auto size = [](int value) { return static_cast<std::size_t>(value); };
    auto inputs = nlohmann::json::array({feature("features", {1, size(metadata.melFrames()), size(metadata.nMels)}),
                                         feature("valid_mask", {size(metadata.chunkSize)})});
    auto outputs = nlohmann::json::array({feature("probs", {1, size(metadata.chunkSize), 4})});
    for (std::size_t index = 0; index < state.arrays().size(); ++index) {
        const std::string name = quorl::LSEENDState::inputNames()[index];
        inputs.push_back(feature(name, state.arrays()[index]->shape()));
        outputs.push_back(feature(name + "_new", state.arrays()[index]->shape()));
    }
    auto manifest = benchsupport::manifest("ls-eend-bench", inputs, outputs);
    manifest["metadata"]["creatorDefined"]["config"] = metadata.encode().dump();
    folder.load("LSEEND.mlmodelc", manifest);
    return std::make_shared<quorl::LSEENDModel>(folder.path() / "LSEEND.mlmodelc", platform::ml::ComputeUnits::cpuOnly);
}

// The diarizer's own cost per 100 ms of input at the argument's rate: resampling to 8 kHz (none at 8 kHz), the
// batched mel frames and their normalisation, the queues, the copies into the model input and out of the
// probabilities, and the timeline. The "rtf" counter is seconds of work per second of audio.
void BM_LSEENDStreaming(benchmark::State& state) {
    const auto rate = static_cast<double>(state.range(0));
    const benchsupport::BundleFolder folder("ls-eend-bench");
    quorl::LSEENDDiarizer diarizer(trivialModel(folder), std::nullopt);
    std::vector<float> audio(static_cast<std::size_t>(rate / 10));
    for (std::size_t index = 0; index < audio.size(); ++index) {
        audio[index] = 0.3f * std::sin(0.01f * static_cast<float>(index));
    }
    std::int64_t steps = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(diarizer.process(audio, rate));
        if (++steps % 6000 == 0) {
            diarizer.reset();
        }
    }
    state.SetItemsProcessed(steps);
    state.counters["rtf"] =
        benchmark::Counter(static_cast<double>(steps) * 0.1, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LSEENDStreaming)->Arg(48000)->Arg(8000);

} // namespace
