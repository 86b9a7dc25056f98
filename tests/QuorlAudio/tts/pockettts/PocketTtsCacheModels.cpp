#include "tests/QuorlAudio/tts/pockettts/PocketTtsCacheModels.hpp"

#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

namespace pocketttscache {
namespace {

std::vector<std::string> numbered(const std::string& prefix, std::int64_t layers) {
    std::vector<std::string> names;
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        names.push_back(prefix + std::to_string(layer));
    }
    return names;
}

} // namespace

quorl::PocketTtsLayerKeys layerKeys(std::int64_t layers, bool split, bool flowlm) {
    quorl::PocketTtsLayerKeys keys{.cacheKeys = numbered("cache_out", layers),
                                   .positionKeys = numbered("position_out", layers)};
    if (split) {
        keys.vCacheKeys = numbered("v_cache_out", layers);
    }
    if (flowlm) {
        keys.transformerOut = "transformer_out";
        keys.eosLogit = "eos_logit";
    }
    return keys;
}

nlohmann::json conditionerManifest(const std::string& kernel) {
    return testsupport::modelManifest(kernel, {testsupport::flexibleFeature("conditioning", {1, 0, 1024})}, {});
}

nlohmann::json flowlmManifest(const std::string& kernel) {
    return testsupport::modelManifest(kernel, {testsupport::multiArrayFeature("sequence", {1, 1, 32})}, {});
}

std::shared_ptr<platform::ml::Model> loadModel(const std::filesystem::path& folder, const std::string& name,
                                               const nlohmann::json& manifest) {
    return platform::ml::Model::load(testsupport::writeModelBundle(folder, name + ".mlmodelc", manifest));
}

double tokensOf(const testsupport::ScriptedKernel::Call& call) {
    const auto validLength = call.inputs.find("valid_len");
    return validLength == call.inputs.end() ? 1.0 : validLength->second.multiArrayValue()->value(0);
}

testsupport::ScriptedKernel::Outputs cacheOutputs(const testsupport::ScriptedKernel::Call& call,
                                                  const quorl::PocketTtsLayerKeys& keys, double advance) {
    testsupport::ScriptedKernel::Outputs outputs;
    for (std::size_t layer = 0; layer < keys.cacheKeys.size(); ++layer) {
        const auto index = std::to_string(layer);
        const bool split = call.inputs.contains("k_cache" + index);
        outputs.insert_or_assign(keys.cacheKeys[layer], call.inputs.at((split ? "k_cache" : "cache") + index));
        if (split && keys.vCacheKeys) {
            outputs.insert_or_assign(keys.vCacheKeys->at(layer), call.inputs.at("v_cache" + index));
        }
        const double position = call.inputs.at("position" + index).multiArrayValue()->value(0);
        outputs.insert_or_assign(keys.positionKeys[layer], testsupport::makeArray({1}, {position + advance}));
    }
    return outputs;
}

} // namespace pocketttscache
