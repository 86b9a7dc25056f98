#include "tests/QuorlAudio/vad/VadTestModel.hpp"

#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

#include "platform/ml/DataType.hpp"
#include "platform/ml/ModelConfiguration.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <cstddef>
#include <string>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

constexpr const char* kernelName = "vad-test-model";

std::shared_ptr<MultiArray> shifted(const MultiArray& state, float by, std::size_t width) {
    auto next = std::make_shared<MultiArray>(MultiArray::Shape{1, width}, DataType::float32);
    for (std::size_t index = 0; index < width; ++index) {
        next->setValue(index, state.value(index) + by);
    }
    return next;
}

} // namespace

VadTestModel::VadTestModel() : kernel(kernelName, [this](const ScriptedKernel::Call& call) { return answer(call); }) {}

nlohmann::json VadTestModel::manifest() {
    return testsupport::modelManifest(
        kernelName,
        {multiArrayFeature("audio_input", {1, 4160}), multiArrayFeature("hidden_state", {1, 128}),
         multiArrayFeature("cell_state", {1, 128})},
        {multiArrayFeature("vad_output", {1, 1}), multiArrayFeature("new_hidden_state", {1, 128}),
         multiArrayFeature("new_cell_state", {1, 128})});
}

std::shared_ptr<platform::ml::Model> VadTestModel::model() {
    if (!model_) {
        const auto bundle =
            testsupport::writeModelBundle(folder_.path(), std::string(ModelNames::VAD::sileroVadFile), manifest());
        model_ = platform::ml::Model::load(bundle, platform::ml::ModelConfiguration{});
    }
    return model_;
}

void VadTestModel::serve(testsupport::LoopbackHub& hub) {
    const std::string repository = remotePath(Repo::vad);
    const std::string bundle(ModelNames::VAD::sileroVadFile);
    hub.putFile(repository, bundle + "/coremldata.bin", "compiled");
    hub.putFile(repository, bundle + "/model.json", manifest().dump(2));
}

ScriptedKernel::Outputs VadTestModel::answer(const ScriptedKernel::Call& call) const {
    const auto audio = call.inputs.at("audio_input").multiArrayValue();
    auto probability = std::make_shared<MultiArray>(MultiArray::Shape{1, 1}, DataType::float32);
    probability->setValue(0, audio->value(64));
    ScriptedKernel::Outputs outputs{
        {probabilityOutput, FeatureValue(probability)},
        {hiddenOutput, FeatureValue(shifted(*call.inputs.at("hidden_state").multiArrayValue(), 1.0f, stateWidth))},
        {cellOutput, FeatureValue(shifted(*call.inputs.at("cell_state").multiArrayValue(), 2.0f, stateWidth))},
    };
    for (const auto& name : omittedOutputs) {
        outputs.erase(name);
    }
    return outputs;
}

} // namespace quorl
