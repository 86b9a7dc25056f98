#include "bench/QuorlAudio/tts/pockettts/PocketTtsTrivialModels.hpp"

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "platform/ml/KernelRegistry.hpp"

#include <algorithm>
#include <vector>

namespace pocketttsbench {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

std::vector<std::string> numbered(const std::string& prefix, std::int64_t layers) {
    std::vector<std::string> names;
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        names.push_back(prefix + std::to_string(layer));
    }
    return names;
}

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
    quorl::PocketTtsSynthesizer::MultiArrayRef audio_ = filled({1, 1, 1920}, 0.01F);
};

class TrivialStateModel : public platform::ml::Kernel {
public:
    Outputs predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                    const platform::ml::PredictionOptions&) override {
        const auto noise = input.featureValue("latent_init");
        if (!noise) {
            return {};
        }
        return {{"latent_final", *noise}, {"is_eos", eosLogit_}};
    }

private:
    quorl::PocketTtsSynthesizer::MultiArrayRef eosLogit_ = filled({1}, -10.0F);
};

nlohmann::json stateFunctions(std::int64_t layers) {
    auto states = nlohmann::json::array();
    for (const auto& name : numbered("k_cache", layers)) {
        states.push_back({{"name", name}, {"dataType", "float16"}, {"shape", {1, 512, 16, 64}}});
    }
    for (const auto& name : numbered("v_cache", layers)) {
        states.push_back({{"name", name}, {"dataType", "float16"}, {"shape", {1, 512, 16, 64}}});
    }
    const nlohmann::json function{
        {"inputs", nlohmann::json::array()}, {"outputs", nlohmann::json::array()}, {"states", states}};
    namespace names = quorl::ModelNames::PocketTTS;
    return {{std::string(names::StateFunction::prefill), function},
            {std::string(names::StateFunction::generate), function}};
}

} // namespace

quorl::PocketTtsLayerKeys keysOf(std::int64_t layers) {
    return {.cacheKeys = numbered("cache_out", layers),
            .positionKeys = numbered("position_out", layers),
            .transformerOut = "transformer_out",
            .eosLogit = "eos_logit"};
}

quorl::PocketTtsSynthesizer::MultiArrayRef filled(MultiArray::Shape shape, float value) {
    auto array = std::make_shared<MultiArray>(std::move(shape), DataType::float32);
    std::fill_n(array->data<float>(), array->count(), value);
    return array;
}

TrivialCacheModel::TrivialCacheModel(std::int64_t layers)
    : keys_(keysOf(layers)), transformerOut_(filled({1, 1, 1024}, 0.1F)), eosLogit_(filled({1, 1, 1}, -10.0F)) {}

Outputs TrivialCacheModel::predict(const platform::ml::FeatureProvider& input, platform::ml::ModelState*,
                                   const platform::ml::PredictionOptions&) {
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

quorl::PocketTtsStateModels trivialStateModels(const benchsupport::BundleFolder& folder, std::int64_t layers) {
    platform::ml::registerKernel("pockettts-bench-state",
                                 [](const auto&) { return std::make_unique<TrivialStateModel>(); });
    auto manifest = benchsupport::manifest("pockettts-bench-state", nlohmann::json::array(), nlohmann::json::array());
    manifest["functions"] = stateFunctions(layers);
    const auto name = "pocket_state_" + std::to_string(layers) + ".mlmodelc";
    folder.load(name, manifest);
    const auto function = [&](std::string_view which) {
        return platform::ml::Model::load(folder.path() / name,
                                         platform::ml::ModelConfiguration{.functionName = std::string(which)});
    };
    namespace names = quorl::ModelNames::PocketTTS;
    return {.prefill = function(names::StateFunction::prefill), .generate = function(names::StateFunction::generate)};
}

} // namespace pocketttsbench
