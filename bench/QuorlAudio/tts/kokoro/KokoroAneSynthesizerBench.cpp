#include "QuorlAudio/tts/kokoro/KokoroAneArrays.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneModelStore.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneSynthesizer.hpp"
#include "platform/core/LittleEndian.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Outputs = std::map<std::string, FeatureValue>;

// One chunk of 510 phonemes, three frames each, at Kokoro's own sizes: 600 samples a frame.
constexpr std::size_t tokens = 512;
constexpr std::size_t frames = 3 * tokens;
constexpr std::size_t samples = 600 * frames;

std::shared_ptr<MultiArray> filled(MultiArray::Shape shape, float value) {
    auto array = std::make_shared<MultiArray>(std::move(shape), DataType::float32);
    std::fill_n(array->data<float>(), array->count(), value);
    return array;
}

// A stage that answers the same prepared outputs whatever its inputs, so only the chain's own work is timed.
class FixedOutputs : public platform::ml::Kernel {
public:
    explicit FixedOutputs(Outputs outputs) : outputs_(std::move(outputs)) {}

    Outputs predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        return outputs_;
    }

private:
    Outputs outputs_;
};

// The runtime checks only declared inputs; the bundles declare none, so the inputs' checks are not timed.
struct StageBundle {
    const char* bundle;
    Outputs outputs;
};

std::vector<StageBundle> stageBundles() {
    return {
        {"KokoroAlbert.mlmodelc", {{"bert_dur", filled({1, tokens, 768}, 0.5F)}}},
        {"KokoroPostAlbert.mlmodelc",
         {{"duration", filled({1, tokens}, 3.0F)},
          {"d", filled({1, tokens, 640}, 0.5F)},
          {"t_en", filled({1, 512, tokens}, 0.5F)}}},
        {"KokoroAlignment.mlmodelc", {{"en", filled({1, 640, frames}, 0.5F)}, {"asr", filled({1, 512, frames}, 0.5F)}}},
        {"KokoroProsody.mlmodelc", {{"F0", filled({1, 2 * frames}, 0.5F)}, {"N", filled({1, 2 * frames}, 0.5F)}}},
        {"KokoroNoise_v2.mlmodelc",
         {{"x_source_0", filled({1, 11, samples / 10}, 0.5F)}, {"x_source_1", filled({1, 11, samples / 50}, 0.5F)}}},
        {"KokoroVocoder.mlmodelc", {{"x_pre", filled({1, 22, samples / 10}, 0.5F)}}},
        {"KokoroTail.mlmodelc", {{"audio", filled({1, samples}, 0.5F)}}},
    };
}

void writeRepository(const std::filesystem::path& repository) {
    for (auto& stage : stageBundles()) {
        const std::string kernel = std::string("kokoro-bench.") + stage.bundle;
        platform::ml::registerKernel(
            kernel, [outputs = stage.outputs](const auto&) { return std::make_unique<FixedOutputs>(outputs); });
        testsupport::writeModelBundle(repository, stage.bundle, testsupport::modelManifest(kernel, {}, {}));
    }
    std::ofstream(repository / "vocab.json") << R"({"a": 1})";
    std::string pack;
    for (int index = 0; index < 130560; ++index) {
        platform::core::appendLittleEndian(pack, 0.01F);
    }
    std::ofstream(repository / "af_heart.bin", std::ios::binary) << pack;
}

void BM_ChainOf510Phonemes(benchmark::State& state) {
    const testsupport::TemporaryFolder folder;
    writeRepository(folder.path() / "kokoro-82m-coreml" / "ANE");
    quorl::KokoroAneModelStore store(folder.path(), quorl::KokoroAneComputeUnits::cpuOnly(),
                                     quorl::KokoroAneVariant::english);
    store.loadIfNeeded();
    const quorl::KokoroAneSynthesizer::Request request{.inputIds = std::vector<std::int32_t>(tokens, 1),
                                                       .styleS = std::vector<float>(128, 0.1F),
                                                       .styleTimbre = std::vector<float>(128, 0.1F),
                                                       .speed = 1.0F};
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorl::KokoroAneSynthesizer::synthesize(request, store));
    }
}
BENCHMARK(BM_ChainOf510Phonemes)->Unit(benchmark::kMillisecond);

void BM_HalfPrecisionCopyOfAMillionElements(benchmark::State& state) {
    const auto source = filled({1, 1000, 1000}, 0.25F);
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorl::KokoroAneArrays::float16Array(source->shape(), *source));
    }
}
BENCHMARK(BM_HalfPrecisionCopyOfAMillionElements)->Unit(benchmark::kMicrosecond);

} // namespace
