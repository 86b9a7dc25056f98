#include "tests/QuorlAudio/tts/styletts2/StyleTTS2Fixtures.hpp"

#include "platform/ml/DataType.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

namespace styletts2fixtures {
namespace {

using nlohmann::json;
using platform::ml::DataType;

struct Input {
    const char* name;
    std::size_t rank;
    DataType dataType = DataType::float32;
};

struct Stage {
    std::vector<Input> inputs;
    std::vector<const char*> outputs;
};

const std::map<std::string, Stage>& stages() {
    static const std::map<std::string, Stage> table = {
        {"text_encoder",
         {{{"tokens", 2, DataType::int32}, {"input_lengths", 1, DataType::int32}, {"text_mask", 2}}, {"t_en"}}},
        {"bert", {{{"tokens", 2, DataType::int32}, {"attention_mask", 2, DataType::int32}}, {"bert_dur", "d_en"}}},
        {"ref_encoder", {{{"mel", 4}}, {"ref_s"}}},
        {"fused_diffusion_sampler",
         {{{"noise_init", 3}, {"noises_aux", 4}, {"embedding", 3}, {"features", 2}}, {"s_pred"}}},
        {"duration_predictor", {{{"d_en", 3}, {"s", 2}, {"text_mask", 2}}, {"d", "logits"}}},
        {"fused_f0n_har_source", {{{"en", 3}, {"s", 2}}, {"f0_pred", "n_pred", "source_har"}}},
        {"decoder_pre", {{{"asr", 3}, {"f0_pred", 2}, {"n_pred", 2}, {"ref", 2}}, {"x_pre"}}},
        {"decoder_upsample", {{{"x_pre", 3}, {"ref", 2}, {"har_source", 3}}, {"audio"}}},
    };
    return table;
}

// Any size of at least 1 in every dimension.
json openInput(const Input& input) {
    auto feature = testsupport::multiArrayFeature(input.name, std::vector<std::size_t>(input.rank, 1), input.dataType);
    feature["shapeRange"] = json::array();
    for (std::size_t dimension = 0; dimension < input.rank; ++dimension) {
        feature["shapeRange"].push_back(json::array({1, nullptr}));
    }
    return feature;
}

} // namespace

std::string stageOf(const std::string& bundleName) {
    for (const auto& [stage, ignored] : stages()) {
        if (bundleName.starts_with(stage + "_fp16") || bundleName == stage + ".mlmodelc") {
            return stage;
        }
    }
    throw std::invalid_argument("no StyleTTS2 stage for " + bundleName);
}

std::string kernelOf(const std::string& stage) { return "styletts2." + stage; }

json manifestFor(const std::string& bundleName) {
    const auto stage = stageOf(bundleName);
    const auto& description = stages().at(stage);
    std::vector<json> inputs;
    for (const auto& input : description.inputs) {
        inputs.push_back(openInput(input));
    }
    std::vector<json> outputs;
    for (const auto* name : description.outputs) {
        outputs.push_back(testsupport::multiArrayFeature(name, {1}));
    }
    return testsupport::modelManifest(kernelOf(stage), inputs, outputs);
}

void writeBundles(const std::filesystem::path& folder, const std::set<std::string>& bundleNames) {
    for (const auto& name : bundleNames) {
        testsupport::writeModelBundle(folder, name, manifestFor(name));
    }
}

void serveBundle(testsupport::LoopbackHub& hub, const std::string& hubFolder, const std::string& bundleName) {
    const auto prefix = (hubFolder.empty() ? "" : hubFolder + "/") + bundleName;
    hub.putFile(hubRepository, prefix + "/coremldata.bin", "compiled");
    hub.putFile(hubRepository, prefix + "/model.json", manifestFor(bundleName).dump());
}

std::string kindAndText(const std::function<void()>& operation, quorl::StyleTTS2Error::Kind kind) {
    try {
        operation();
    } catch (const quorl::StyleTTS2Error& error) {
        return std::string(error.kind() == kind ? "" : "(other kind) ") + error.what();
    }
    return "nothing thrown";
}

} // namespace styletts2fixtures
