#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsFrameDecoding.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsKVCache.hpp"
#include "platform/ml/KernelRegistry.hpp"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using quorl::PocketTtsLayerKeys;
using quorl::PocketTtsSynthesizer::MultiArrayRef;
using Outputs = std::map<std::string, FeatureValue>;

std::vector<std::string> numbered(const std::string& prefix, std::int64_t layers) {
    std::vector<std::string> names;
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        names.push_back(prefix + std::to_string(layer));
    }
    return names;
}

PocketTtsLayerKeys keysOf(std::int64_t layers) {
    return {.cacheKeys = numbered("cache_out", layers),
            .positionKeys = numbered("position_out", layers),
            .transformerOut = "transformer_out",
            .eosLogit = "eos_logit"};
}

MultiArrayRef filled(MultiArray::Shape shape, float value) {
    auto array = std::make_shared<MultiArray>(std::move(shape), DataType::float32);
    std::fill_n(array->data<float>(), array->count(), value);
    return array;
}

// A cache model that costs next to nothing: every layer's cache comes back as the same array and its position
// moves on by the tokens given, as a real model's would.
class TrivialCacheModel : public platform::ml::Kernel {
public:
    explicit TrivialCacheModel(std::int64_t layers) : keys_(keysOf(layers)) {}

    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        const auto validLength = input.featureValue("valid_len");
        const double advance = validLength ? validLength->multiArrayValue()->value(0) : 1.0;
        Outputs outputs{{"transformer_out", transformerOut_}, {"eos_logit", eosLogit_}};
        for (std::size_t layer = 0; layer < keys_.cacheKeys.size(); ++layer) {
            const auto index = std::to_string(layer);
            outputs.insert_or_assign(keys_.cacheKeys[layer], *input.featureValue("cache" + index));
            const double position = input.featureValue("position" + index)->multiArrayValue()->value(0);
            outputs.insert_or_assign(keys_.positionKeys[layer], filled({1}, static_cast<float>(position + advance)));
        }
        return outputs;
    }

private:
    PocketTtsLayerKeys keys_;
    MultiArrayRef transformerOut_ = filled({1, 1, 1024}, 0.1F);
    MultiArrayRef eosLogit_ = filled({1, 1, 1}, -10.0F);
};

class TrivialFlowDecoder : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        return {{"latent_final", *input.featureValue("latent_init")}};
    }
};

class TrivialMimiDecoder : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        return {{"audio", audio_}, {"state_out", *input.featureValue("state")}};
    }

private:
    MultiArrayRef audio_ = filled({1, 1, 1920}, 0.01F);
};

struct Models {
    std::shared_ptr<platform::ml::Model> cache;
    std::shared_ptr<platform::ml::Model> flow;
    std::shared_ptr<platform::ml::Model> mimi;
    quorl::PocketTtsMimiKeys mimiKeys{
        .audioOutput = "audio", .stateMapping = {{"state", "state_out"}}, .stateShapes = {{"state", {1, 512, 16}}}};
};

Models trivialModels(const benchsupport::BundleFolder& folder, std::int64_t layers) {
    const std::string cacheKernel = "pockettts-bench-cache-" + std::to_string(layers);
    platform::ml::registerKernel(cacheKernel,
                                 [layers](const auto&) { return std::make_unique<TrivialCacheModel>(layers); });
    platform::ml::registerKernel("pockettts-bench-flow",
                                 [](const auto&) { return std::make_unique<TrivialFlowDecoder>(); });
    platform::ml::registerKernel("pockettts-bench-mimi",
                                 [](const auto&) { return std::make_unique<TrivialMimiDecoder>(); });
    const auto none = nlohmann::json::array();
    return {.cache = folder.load(cacheKernel + ".mlmodelc", benchsupport::manifest(cacheKernel, none, none)),
            .flow = folder.load("flow.mlmodelc", benchsupport::manifest("pockettts-bench-flow", none, none)),
            .mimi = folder.load("mimi.mlmodelc", benchsupport::manifest("pockettts-bench-mimi", none, none))};
}

// The generation loop's own work per 80 ms frame around trivial models: the flow-LM step with its cache
// inputs and outputs, the noise and flow decoder, the codec decoder and the next sequence. "frames/s" is to
// be read against real time's 12.5.
void BM_PocketTtsFrame(benchmark::State& state) {
    const auto layers = state.range(0);
    const benchsupport::BundleFolder folder("pockettts-bench");
    const auto models = trivialModels(folder, layers);
    const auto keys = keysOf(layers);
    namespace synthesizer = quorl::PocketTtsSynthesizer;
    auto cache = synthesizer::emptyKVCacheState(layers, false);
    auto mimiState = synthesizer::loadMimiInitialState(folder.path(), models.mimiKeys);
    const auto bosEmb = synthesizer::createBosEmbedding(std::vector<float>(32, 0.5F));
    auto sequence = synthesizer::createNaNSequence();
    quorl::SeededRNG rng(42);
    for (auto _ : state) {
        const auto step = synthesizer::runFlowLMStep(sequence, bosEmb, cache, *models.cache, keys);
        const auto latent = synthesizer::flowDecode(*step.transformerOut, 0.7F, *models.flow, rng);
        benchmark::DoNotOptimize(synthesizer::runMimiDecoder(latent, mimiState, *models.mimi, models.mimiKeys));
        sequence = synthesizer::createSequenceFromLatent(latent);
        // Rewinds before the cache is full, as a new chunk would, without building a new cache.
        if (synthesizer::cachePosition(cache) >= 500) {
            for (auto& position : cache.positions) {
                position = filled({1}, 0.0F);
            }
        }
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PocketTtsFrame)->Arg(6)->Arg(24)->Unit(benchmark::kMicrosecond);

// A chunk's prefill with a cloned voice of 125 frames and 20 text tokens over the fast road: the fresh
// 6-layer cache, the conditioning arrays and two prefill calls.
void BM_PocketTtsClonedVoicePrefill(benchmark::State& state) {
    const benchsupport::BundleFolder folder("pockettts-bench");
    const auto models = trivialModels(folder, 6);
    const quorl::PocketTtsSynthesizer::ConditioningModels conditioning{.step = models.cache,
                                                                       .stepKeys = keysOf(6),
                                                                       .prefill = models.cache,
                                                                       .prefillKeys = keysOf(6),
                                                                       .useFastPrefill = true};
    const quorl::PocketTtsVoiceData voice{
        .audioPrompt = std::vector<float>(125 * 1024, 0.2F), .promptLength = 125, .cacheSnapshot = std::nullopt};
    const std::vector<std::vector<float>> text(20, std::vector<float>(1024, 0.3F));
    const std::optional<std::vector<float>> bosBeforeVoice(std::vector<float>(1024, 0.1F));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            quorl::PocketTtsSynthesizer::prefillKVCache(voice, text, bosBeforeVoice, conditioning));
    }
}
BENCHMARK(BM_PocketTtsClonedVoicePrefill)->Unit(benchmark::kMillisecond);

} // namespace
