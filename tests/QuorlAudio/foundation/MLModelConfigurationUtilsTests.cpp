#include "QuorlAudio/foundation/CompatPrediction.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

using platform::ml::ComputeUnits;
using platform::ml::DataType;

TEST(MLModelConfigurationUtils, DefaultConfigurationAllowsLowPrecisionAccumulation) {
    for (auto units : {ComputeUnits::cpuOnly, ComputeUnits::cpuAndNeuralEngine, ComputeUnits::all}) {
        const auto configuration = MLModelConfigurationUtils::defaultConfiguration(units);
        EXPECT_EQ(configuration.computeUnits, units);
        EXPECT_TRUE(configuration.allowLowPrecisionAccumulationOnGPU);
        EXPECT_FALSE(configuration.functionName.has_value());
    }
}

TEST(MLModelConfigurationUtils, ModelsDirectoryLiesUnderApplicationSupport) {
    testsupport::ScopedEnvironment environment;
    environment.set("XDG_DATA_HOME", "/data");
    EXPECT_EQ(MLModelConfigurationUtils::defaultModelsDirectory(), std::filesystem::path("/data/QuorlAudio/Models"));
    EXPECT_EQ(MLModelConfigurationUtils::defaultModelsDirectory(Repo::parakeetV3),
              std::filesystem::path("/data/QuorlAudio/Models") / folderName(Repo::parakeetV3));
    EXPECT_FALSE(std::filesystem::exists("/data/QuorlAudio"));
}

TEST(CompatPrediction, ReturnsTheModelsOwnPrediction) {
    testsupport::TemporaryFolder folder;
    testsupport::ScriptedKernel kernel("compat-echo", [](const testsupport::ScriptedKernel::Call& call) {
        return testsupport::ScriptedKernel::Outputs{{"y", call.inputs.at("x")}};
    });
    const auto bundle = testsupport::writeModelBundle(
        folder.path(), "Echo.mlmodelc",
        testsupport::modelManifest("compat-echo", {testsupport::multiArrayFeature("x", {2})},
                                   {testsupport::multiArrayFeature("y", {2})}));
    auto model =
        platform::ml::Model::load(bundle, MLModelConfigurationUtils::defaultConfiguration(ComputeUnits::cpuOnly));
    auto backing = std::make_shared<platform::ml::MultiArray>(platform::ml::MultiArray::Shape{2}, DataType::float32);
    platform::ml::DictionaryFeatureProvider input(
        {{"x", platform::ml::FeatureValue(testsupport::makeArray({2}, {4, 5}))}});

    auto output = compatPrediction(*model, input, platform::ml::PredictionOptions{.outputBackings = {{"y", backing}}});

    EXPECT_EQ(output->featureValue("y")->multiArrayValue(), backing);
    EXPECT_EQ(testsupport::valuesOf(*backing), (std::vector<double>{4, 5}));
    EXPECT_EQ(kernel.calls().at(0).configuration.computeUnits, ComputeUnits::cpuOnly);
}

} // namespace
} // namespace quorl
