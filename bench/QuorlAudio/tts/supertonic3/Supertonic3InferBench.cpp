#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3ModelStore.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Synthesizer.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "tests/QuorlAudio/tts/supertonic3/Supertonic3SetWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace constants = quorl::Supertonic3Constants;
using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Outputs = std::map<std::string, FeatureValue>;

// About what a 70-character English chunk lasts: 65 latent frames.
constexpr float chunkSeconds = 4.5F;
constexpr std::size_t chunkFrames = 65;

// A model that answers one prepared array under one name, whatever it is given.
class ConstantKernel : public platform::ml::Kernel {
public:
    ConstantKernel(std::string name, std::shared_ptr<MultiArray> value)
        : name_(std::move(name)), value_(std::move(value)) {}

    Outputs predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        return {{name_, FeatureValue(value_)}};
    }

private:
    std::string name_;
    std::shared_ptr<MultiArray> value_;
};

// An estimator whose step changes nothing: it answers the latent it was given.
class IdentityEstimator : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        return {{"denoised_latent", *input.featureValue("noisy_latent")}};
    }
};

std::shared_ptr<MultiArray> filled(const MultiArray::Shape& shape, float value) {
    auto array = std::make_shared<MultiArray>(shape, DataType::float32);
    std::fill_n(array->data<float>(), array->count(), value);
    return array;
}

void registerTrivialKernels() {
    const auto constant = [](std::string name, std::shared_ptr<MultiArray> value) {
        return [name, value](const auto&) { return std::make_unique<ConstantKernel>(name, value); };
    };
    platform::ml::registerKernel("supertonic3-bench-duration", constant("duration", filled({1}, chunkSeconds)));
    platform::ml::registerKernel(
        "supertonic3-bench-text-encoder",
        constant("text_emb", filled({1, constants::textEmbDim, constants::textTFixed}, 0.25F)));
    platform::ml::registerKernel(
        "supertonic3-bench-vocoder",
        constant("wav", filled({1, chunkFrames * constants::baseChunkSize * constants::chunkCompressFactor}, 0.1F)));
    platform::ml::registerKernel("supertonic3-bench-estimator",
                                 [](const auto&) { return std::make_unique<IdentityEstimator>(); });
}

void BM_InferSeventyCharacterChunkAtEightSteps(benchmark::State& state, quorl::Supertonic3VectorEstimator estimator) {
    registerTrivialKernels();
    const testsupport::TemporaryFolder cache;
    const auto root = cache.path() / "Models";
    testsupport::writeSupertonic3Set(root / "supertonic-3",
                                     {.durationPredictor = "supertonic3-bench-duration",
                                      .textEncoder = "supertonic3-bench-text-encoder",
                                      .vectorEstimator = "supertonic3-bench-estimator",
                                      .vocoder = "supertonic3-bench-vocoder"},
                                     estimator);
    auto store = std::make_shared<quorl::Supertonic3ModelStore>(root, platform::ml::ComputeUnits::cpuOnly, estimator);
    store->loadIfNeeded();
    std::vector<std::int64_t> indexer(0x1200);
    std::iota(indexer.begin(), indexer.end(), 0);
    const quorl::Supertonic3Synthesizer synthesizer(store, {.indexer = indexer});
    const auto style = testsupport::supertonic3Style(0.5F);
    const std::string chunk = "The quick brown fox jumps over the lazy dog and keeps running far away";
    if (chunk.size() != 70) {
        throw std::logic_error("the chunk is not 70 characters");
    }
    for (auto _ : state) {
        const auto result = synthesizer.infer({.text = chunk,
                                               .language = "en",
                                               .style = style,
                                               .totalSteps = constants::defaultTotalSteps,
                                               .speed = 1.0F});
        benchmark::DoNotOptimize(result.samples.data());
    }
}
BENCHMARK_CAPTURE(BM_InferSeventyCharacterChunkAtEightSteps, bucketed,
                  quorl::Supertonic3VectorEstimator::defaultEstimator())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_InferSeventyCharacterChunkAtEightSteps, dynamic,
                  quorl::Supertonic3VectorEstimator::dynamic(quorl::Supertonic3Quantization::int8))
    ->Unit(benchmark::kMicrosecond);

} // namespace
