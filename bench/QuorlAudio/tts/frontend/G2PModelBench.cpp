#include "QuorlAudio/tts/frontend/G2PModel.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <stdexcept>
#include <string>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::flexibleFeature;

constexpr std::size_t phonemeIds = 64;
constexpr std::size_t hiddenSize = 16;
constexpr std::int32_t spelledId = 10;

// An encoder that answers the same small hidden states whatever the word.
class TrivialG2PEncoder : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"encoder_hidden_states", FeatureValue(states_)}};
    }

private:
    std::shared_ptr<MultiArray> states_ =
        std::make_shared<MultiArray>(MultiArray::Shape{1, 8, hiddenSize}, DataType::float32);
};

// A decoder that answers one prepared array of scores for up to 64 positions, each peaking at an ordinary id,
// so that decoding never meets eos and runs the full 64 steps.
class TrivialG2PDecoder : public platform::ml::Kernel {
public:
    TrivialG2PDecoder() {
        for (std::size_t position = 0; position < phonemeIds; ++position) {
            logits_->at<float>({0, position, static_cast<std::size_t>(spelledId)}) = 1.0f;
        }
    }

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"logits", FeatureValue(logits_)}};
    }

private:
    std::shared_ptr<MultiArray> logits_ =
        std::make_shared<MultiArray>(MultiArray::Shape{1, phonemeIds, phonemeIds}, DataType::float32);
};

void writeModelFiles(const std::filesystem::path& folder) {
    platform::ml::registerKernel("g2p-bench-encoder",
                                 [](const auto&) { return std::make_unique<TrivialG2PEncoder>(); });
    platform::ml::registerKernel("g2p-bench-decoder",
                                 [](const auto&) { return std::make_unique<TrivialG2PDecoder>(); });
    testsupport::writeModelBundle(
        folder, "G2PEncoder.mlmodelc",
        testsupport::modelManifest("g2p-bench-encoder", {flexibleFeature("input_ids", {1, 0}, DataType::int32)},
                                   {flexibleFeature("encoder_hidden_states", {1, 0, hiddenSize})}));
    testsupport::writeModelBundle(
        folder, "G2PDecoder.mlmodelc",
        testsupport::modelManifest("g2p-bench-decoder",
                                   {flexibleFeature("decoder_input_ids", {1, 0}, DataType::int32),
                                    flexibleFeature("encoder_hidden_states", {1, 0, hiddenSize}),
                                    flexibleFeature("position_ids", {1, 0}, DataType::int32),
                                    flexibleFeature("causal_mask", {1, 0, 0})},
                                   {flexibleFeature("logits", {1, 0, phonemeIds})}));
    const nlohmann::json phonemes{{std::to_string(spelledId), "ə"}};
    std::ofstream(folder / "g2p_vocab.json")
        << nlohmann::json{{"grapheme_to_id", {{"a", 4}, {"b", 5}}}, {"id_to_phoneme", phonemes}}.dump();
}

void BM_G2PWordOfSixtyFourSteps(benchmark::State& state) {
    const testsupport::TemporaryFolder cache;
    writeModelFiles(cache.path() / "Models" / "kokoro");
    quorl::G2PModel model(
        {.cacheRoot = [&cache] { return cache.path(); }, .variable = [](const std::string&) { return std::nullopt; }});
    if (model.phonemize("abba").value_or(std::vector<std::string>{}).size() != phonemeIds) {
        throw std::logic_error("the trivial decoder did not run 64 steps");
    }
    for (auto _ : state) {
        const auto phonemes = model.phonemize("abba");
        benchmark::DoNotOptimize(phonemes->data());
    }
}
BENCHMARK(BM_G2PWordOfSixtyFourSteps)->Unit(benchmark::kMicrosecond);

} // namespace
