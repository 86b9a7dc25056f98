#include "QuorlAudio/asr/other/CohereAsrConfig.hpp"
#include "QuorlAudio/asr/other/CohereDecoderLoop.hpp"
#include "QuorlAudio/asr/other/CohereDecoderVariant.hpp"

#include "platform/ml/DataType.hpp"
#include "platform/ml/Kernel.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Config = quorl::CohereAsrConfig;

constexpr std::size_t encoderLength = 438;
constexpr std::size_t hiddenSize = Config::encoderHiddenSize;

// A decoder that costs next to nothing: the same logits every step and the caches handed back as they came,
// so the benchmark measures the loop's own work around each prediction. The scores fall with the id from
// id 16 on and the special ids score lowest, so the loop never ends early, whatever the rules ban.
class TrivialCohereDecoder : public platform::ml::Kernel {
public:
    explicit TrivialCohereDecoder(DataType logitsType)
        : logits_(std::make_shared<MultiArray>(MultiArray::Shape{1, 1, Config::vocabSize}, logitsType)) {
        for (std::size_t id = 0; id < logits_->count(); ++id) {
            logits_->setValue(id, id < 16 ? -10.0 : 1.0 - static_cast<double>(id) / Config::vocabSize);
        }
    }

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        std::map<std::string, FeatureValue> outputs{{"logits", FeatureValue(logits_)}};
        for (int layer = 0; layer < Config::numDecoderLayers; ++layer) {
            for (const std::string kind : {"k_cache_", "v_cache_"}) {
                const auto name = kind + std::to_string(layer);
                outputs.emplace(name + "_out", *input.featureValue(name));
            }
        }
        return outputs;
    }

private:
    std::shared_ptr<MultiArray> logits_;
};

nlohmann::json feature(const std::string& name, std::vector<std::size_t> shape, DataType dataType) {
    return {{"name", name}, {"dataType", platform::ml::rawValue(dataType)}, {"shape", std::move(shape)}};
}

nlohmann::json decoderManifest() {
    const auto half = DataType::float16;
    const std::vector<std::size_t> cache{1, Config::numDecoderHeads, Config::maxSeqLen, Config::headDim};
    nlohmann::json inputs{feature("input_id", {1, 1}, DataType::int32), feature("position_id", {1, 1}, DataType::int32),
                          feature("encoder_hidden_states", {1, encoderLength, hiddenSize}, half),
                          feature("cross_attention_mask", {1, 1, 1, encoderLength}, half),
                          feature("attention_mask", {1, 1, 1, Config::maxSeqLen}, half)};
    nlohmann::json outputs{feature("logits", {1, 1, Config::vocabSize}, half)};
    for (int layer = 0; layer < Config::numDecoderLayers; ++layer) {
        for (const std::string kind : {"k_cache_", "v_cache_"}) {
            inputs.push_back(feature(kind + std::to_string(layer), cache, half));
            outputs.push_back(feature(kind + std::to_string(layer) + "_out", cache, half));
        }
    }
    return {{"kernel", "cohere-bench-decoder"}, {"inputs", inputs}, {"outputs", outputs}};
}

std::shared_ptr<platform::ml::Model> trivialDecoder(DataType logitsType) {
    platform::ml::registerKernel("cohere-bench-decoder", [logitsType](const platform::ml::KernelContext&) {
        return std::make_unique<TrivialCohereDecoder>(logitsType);
    });
    const auto bundle = std::filesystem::temp_directory_path() / ("cohere-bench-" + std::to_string(getpid())) /
                        std::string(quorl::compiledFileName(quorl::CohereDecoderVariant::v2));
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "coremldata.bin") << "compiled";
    std::ofstream(bundle / "model.json") << decoderManifest().dump();
    auto model = platform::ml::Model::load(bundle);
    std::filesystem::remove_all(bundle.parent_path());
    return model;
}

// One full run: the 10 prompt tokens and 98 more fed, 99 tokens produced (the most the caches allow), with
// the repetition rules off or on (penalty 1.1, no repeated trigram) and logits of 32- or 16-bit floats.
// "perToken" is the wall time of a run over the tokens it produced.
void BM_CohereDecoderLoop(benchmark::State& state) {
    const bool rules = state.range(0) != 0;
    const auto logitsType = state.range(1) == 16 ? DataType::float16 : DataType::float32;
    const auto decoder = trivialDecoder(logitsType);
    const quorl::CohereDecoderLoop loop(*decoder, true);
    const quorl::CohereEncodedAudio encoded{.hiddenStates = std::make_shared<MultiArray>(
                                                MultiArray::Shape{1, encoderLength, hiddenSize}, DataType::float16),
                                            .validFrames = 300};
    const quorl::CohereDecodingOptions options{.language = Config::Language::english,
                                               .maxNewTokens = 200,
                                               .repetitionPenalty = rules ? 1.1f : 1.0f,
                                               .noRepeatNgram = rules ? 3 : 0};
    std::size_t produced = 0;
    for (auto _ : state) {
        const auto tokens = loop.decode(encoded, options);
        produced = tokens.size();
        benchmark::DoNotOptimize(tokens.data());
    }
    state.counters["tokens"] = static_cast<double>(produced);
    state.counters["perToken"] = benchmark::Counter(static_cast<double>(state.iterations() * produced),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CohereDecoderLoop)
    ->ArgNames({"rules", "logitsBits"})
    ->ArgsProduct({{0, 1}, {32, 16}})
    ->Unit(benchmark::kMillisecond);

} // namespace
