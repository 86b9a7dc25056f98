#include "tests/QuorlAudio/tts/pockettts/PocketTtsStateModel.hpp"

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <string>

namespace pocketttsstate {
namespace {

namespace names = quorl::ModelNames::PocketTTS;
using nlohmann::json;
using platform::ml::MultiArray;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

double inputValue(const ScriptedKernel::Call& call, const std::string& name, std::size_t index = 0) {
    return call.inputs.at(name).multiArrayValue()->value(index);
}

// The state's layer count: every state is a key or a value buffer.
std::size_t layersOf(const ScriptedKernel::Call& call) { return call.state->stateNames().size() / 2; }

// Writes `value` into every layer's keys, and its negation into the values, at (position, head 0, dim 0).
void cacheAt(const ScriptedKernel::Call& call, std::size_t position, double value) {
    for (std::size_t layer = 0; layer < layersOf(call); ++layer) {
        call.state->withMultiArray("k_cache" + std::to_string(layer), [&](MultiArray& buffer) {
            buffer.at<_Float16>({0, position, 0, 0}) = static_cast<_Float16>(value);
        });
        call.state->withMultiArray("v_cache" + std::to_string(layer), [&](MultiArray& buffer) {
            buffer.at<_Float16>({0, position, 0, 0}) = static_cast<_Float16>(-value);
        });
    }
}

json state(const std::string& name, const Layout& layout) {
    auto entry = multiArrayFeature(name, {1, 512, 16, 64}, layout.dataType);
    if (!layout.strides.empty()) {
        entry["strides"] = layout.strides;
    }
    return entry;
}

} // namespace

json stateManifest(const char* kernel, const Layout& layout) {
    json states = json::array();
    for (std::int64_t layer = 0; layer < layout.layers; ++layer) {
        states.push_back(state("k_cache" + std::to_string(layer), layout));
        states.push_back(state("v_cache" + std::to_string(layer), layout));
    }
    const json prefill{{"inputs",
                        {multiArrayFeature("conditioning", {1, 256, 1024}), multiArrayFeature("valid_len", {1}),
                         multiArrayFeature("position", {1})}},
                       {"outputs", {multiArrayFeature("new_position", {1})}},
                       {"states", states}};
    const json generate{{"inputs",
                         {multiArrayFeature("sequence", {1, 1, 32}), multiArrayFeature("latent_init", {1, 32}),
                          multiArrayFeature("position", {1})}},
                        {"outputs",
                         {multiArrayFeature("latent_final", {1, 32}, platform::ml::DataType::float16),
                          multiArrayFeature("is_eos", {1, 1})}},
                        {"states", states}};
    auto manifest = testsupport::modelManifest(kernel, {}, {});
    manifest["functions"] = {{std::string(names::StateFunction::prefill), prefill},
                             {std::string(names::StateFunction::generate), generate}};
    return manifest;
}

ScriptedKernel::Outputs prefillOutputs(const ScriptedKernel::Call& call, bool reportsNewPosition) {
    const auto tokens = static_cast<std::size_t>(inputValue(call, "valid_len"));
    const auto start = static_cast<std::size_t>(inputValue(call, "position"));
    for (std::size_t token = 0; token < tokens; ++token) {
        cacheAt(call, start + token, inputValue(call, "conditioning", token * 1024));
    }
    if (!reportsNewPosition) {
        return {};
    }
    return {{"new_position", testsupport::makeArray({1}, {static_cast<double>(start + tokens)})}};
}

ScriptedKernel::Outputs generateOutputs(const ScriptedKernel::Call& call, double logit) {
    const double position = inputValue(call, "position");
    cacheAt(call, static_cast<std::size_t>(position), inputValue(call, "sequence"));
    auto latent = testsupport::valuesOf(*call.inputs.at("latent_init").multiArrayValue());
    for (double& value : latent) {
        value += position;
    }
    return {{"latent_final", testsupport::makeArray({1, 32}, latent, platform::ml::DataType::float16)},
            {"is_eos", testsupport::makeArray({1, 1}, {logit})}};
}

} // namespace pocketttsstate
