#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

namespace {

using namespace platform::ml;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

// Each call adds "step" to the state "total" and returns the new total as "total_out".
ScriptedKernel::Outputs accumulate(const ScriptedKernel::Call& call) {
    float total = 0;
    call.state->withMultiArray("total", [&](MultiArray& buffer) {
        buffer.at<float>(0) += call.inputs.at("step").multiArrayValue()->at<float>(0);
        total = buffer.at<float>(0);
    });
    auto output = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::float32);
    output->at<float>(0) = total;
    return {{"total_out", FeatureValue(output)}};
}

DictionaryFeatureProvider step(double value) {
    return DictionaryFeatureProvider({{"step", FeatureValue(testsupport::makeArray({1}, {value}))}});
}

class StatefulModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        const nlohmann::json function = {{"inputs", {multiArrayFeature("step", {1})}},
                                         {"outputs", {multiArrayFeature("total_out", {1})}},
                                         {"states", {multiArrayFeature("total", {1})}}};
        auto manifest = testsupport::modelManifest("accumulator", {}, {});
        manifest["functions"] = {{"prefill", function}, {"generate", function}};
        bundle = testsupport::writeModelBundle(folder.path(), "State.mlmodelc", manifest);
    }

    void TearDown() override { setStatefulModelsSupported(true); }

    std::shared_ptr<Model> load(const std::string& function) {
        return Model::load(bundle, ModelConfiguration{.computeUnits = ComputeUnits::cpuAndNeuralEngine,
                                                      .allowLowPrecisionAccumulationOnGPU = false,
                                                      .functionName = function});
    }

    testsupport::TemporaryFolder folder;
    ScriptedKernel kernel{"accumulator", accumulate};
    std::filesystem::path bundle;
};

TEST_F(StatefulModelTest, FunctionsOfOneBundleShareAStateAcrossPredictions) {
    auto prefill = load("prefill");
    auto generate = load("generate");
    EXPECT_EQ(generate->description().stateDescriptionsByName.count("total"), 1u);
    EXPECT_EQ(generate->description().stateDescriptionsByName.at("total").type, FeatureType::state);

    auto state = generate->makeState();
    prefill->predict(step(2), *state);
    generate->predict(step(3), *state);
    auto output = generate->predict(step(4), *state);

    EXPECT_EQ(output->featureValue("total_out")->multiArrayValue()->at<float>(0), 9.0f);
    const auto calls = kernel.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].configuration.functionName, "prefill");
    EXPECT_EQ(calls[2].configuration.functionName, "generate");
    EXPECT_EQ(calls[2].state, state.get());

    auto fresh = generate->makeState();
    fresh->withMultiArray("total", [](MultiArray& buffer) { EXPECT_EQ(buffer.at<float>(0), 0.0f); });
}

TEST_F(StatefulModelTest, WithoutStatefulModelSupportStatesFailClearly) {
    auto model = load("generate");
    auto state = model->makeState();
    setStatefulModelsSupported(false);
    for (const auto& attempt : {std::function<void()>([&] { model->makeState(); }),
                                std::function<void()>([&] { model->predict(step(1), *state); })}) {
        try {
            attempt();
            ADD_FAILURE() << "a state was used";
        } catch (const ModelError& error) {
            EXPECT_EQ(error.kind(), ModelError::Kind::statefulModelsUnsupported);
            EXPECT_STREQ(error.what(), "Stateful models are not supported on this system");
        }
    }
    EXPECT_TRUE(kernel.calls().empty());
}

TEST_F(StatefulModelTest, AStateMustMatchTheModel) {
    auto model = load("generate");
    ModelState wrong({{"total", std::make_shared<MultiArray>(MultiArray::Shape{2}, DataType::float32)}});
    ModelState missing({});
    for (auto* state : {&wrong, &missing}) {
        EXPECT_THROW(model->predict(step(1), *state), ModelError);
    }
    EXPECT_THROW(model->makeState()->withMultiArray("k_cache0", [](MultiArray&) {}), ModelError);
}

// As an accelerator keeps it: each row of 3 values padded to 4, one more row of padding per plane.
TEST_F(StatefulModelTest, AStateMayDeclareAPaddedLayout) {
    auto state = multiArrayFeature("total", {2, 3, 3}, DataType::float16);
    state["strides"] = {16, 4, 1};
    auto manifest = testsupport::modelManifest("accumulator", {multiArrayFeature("step", {1})}, {});
    manifest["states"] = {state};
    const auto padded = testsupport::writeModelBundle(folder.path(), "Padded.mlmodelc", manifest);
    auto fresh = Model::load(padded)->makeState();
    fresh->withMultiArray("total", [](MultiArray& buffer) {
        EXPECT_EQ(buffer.strides(), (MultiArray::Shape{16, 4, 1}));
        EXPECT_EQ(buffer.extent(), 32u);
        EXPECT_EQ(buffer.at<_Float16>({1, 2, 2}), 0);
    });
    state["strides"] = {9, 2, 1};
    manifest["states"] = {state};
    testsupport::writeModelBundle(folder.path(), "Overlapping.mlmodelc", manifest);
    EXPECT_THROW(Model::load(folder.path() / "Overlapping.mlmodelc"), ModelError);
}

} // namespace
