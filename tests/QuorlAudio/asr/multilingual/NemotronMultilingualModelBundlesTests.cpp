#include "QuorlAudio/asr/multilingual/NemotronMultilingualModelBundles.hpp"

#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/ReadOnlyFolder.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using Bundles = NemotronMultilingualModelBundles;
using platform::ml::ComputeUnits;
using platform::ml::DataType;
using platform::sys::LogType;
using testsupport::multiArrayFeature;

constexpr const char* category = "NemotronMultilingualStreaming";

class NemotronMultilingualModelBundlesTest : public ::testing::Test {
protected:
    fs::path writePackage(const std::string& name) {
        return testsupport::writeModelBundle(folder.path(), name, testsupport::modelManifest("bundles-tests", {}, {}));
    }

    std::vector<std::string> messages(LogType type) const { return log.messages(category, type); }

    testsupport::RecordingLogSink log;
    testsupport::TemporaryFolder folder;
    const AppLogger logger{category};
};

TEST_F(NemotronMultilingualModelBundlesTest, APackageIsCompiledOnceAndKeptBesideIt) {
    const auto package = writePackage("joint.mlpackage");

    const auto first = Bundles::locateModelBundle(folder.path(), "joint.mlmodelc", "joint.mlpackage", logger);
    const auto second = Bundles::locateModelBundle(folder.path(), "joint.mlmodelc", "joint.mlpackage", logger);

    EXPECT_EQ(first, folder.path() / "joint.mlmodelc");
    EXPECT_EQ(second, first);
    EXPECT_TRUE(fs::exists(first / "coremldata.bin"));
    EXPECT_TRUE(fs::exists(package / "model.json"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 2);
    EXPECT_EQ(messages(LogType::info),
              std::vector<std::string>{"Compiling joint.mlpackage to .mlmodelc (first run only)..."});
}

TEST_F(NemotronMultilingualModelBundlesTest, ACompiledBundleWinsWithoutCompiling) {
    const auto compiled = testsupport::writeModelBundle(folder.path(), "encoder.mlmodelc",
                                                        testsupport::modelManifest("bundles-tests", {}, {}));
    writePackage("encoder.mlpackage");
    EXPECT_EQ(Bundles::locateModelBundle(folder.path(), "encoder.mlmodelc", "encoder.mlpackage", logger), compiled);
    // A bundle cached under the package's stem is found even when the compiled name differs.
    EXPECT_EQ(Bundles::locateModelBundle(folder.path(), "encoder_v2.mlmodelc", "encoder.mlpackage", logger), compiled);
    EXPECT_TRUE(log.messages(category).empty());
}

TEST_F(NemotronMultilingualModelBundlesTest, NeitherFileFailsWithoutCompilingOrLogging) {
    EXPECT_EQ(testsupport::errorText(
                  [&] { Bundles::locateModelBundle(folder.path(), "encoder.mlmodelc", "encoder.mlpackage", logger); }),
              "ASR processing failed: Could not find encoder.mlmodelc or encoder.mlpackage in " +
                  folder.path().string());
    EXPECT_TRUE(fs::is_empty(folder.path()));
    EXPECT_TRUE(log.messages(category).empty());
}

TEST_F(NemotronMultilingualModelBundlesTest, AFolderThatCannotBeWrittenUsesTheTemporaryBundleEveryTime) {
    writePackage("joint.mlpackage");
    const testsupport::ReadOnlyFolder readOnly(folder.path());
    if (!readOnly.holds()) {
        GTEST_SKIP() << "this user can write to any folder";
    }

    const auto first = Bundles::locateModelBundle(folder.path(), "joint.mlmodelc", "joint.mlpackage", logger);
    const auto second = Bundles::locateModelBundle(folder.path(), "joint.mlmodelc", "joint.mlpackage", logger);

    EXPECT_NE(first.parent_path(), folder.path());
    EXPECT_NE(first, second);
    EXPECT_TRUE(fs::exists(first / "coremldata.bin"));
    EXPECT_FALSE(fs::exists(folder.path() / "joint.mlmodelc"));
    const auto warnings = messages(LogType::error);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_TRUE(warnings[0].starts_with("Could not cache compiled model next to .mlpackage (")) << warnings[0];
    EXPECT_TRUE(warnings[0].ends_with("); using temp path.")) << warnings[0];
    EXPECT_EQ(messages(LogType::info).size(), 2u);
    fs::remove_all(first);
    fs::remove_all(second);
}

// Another stream may be loading the bundle that appeared while this one compiled: replacing it would pull
// the files from under that load.
TEST_F(NemotronMultilingualModelBundlesTest, ABundleCachedMeanwhileIsKeptAndTheNewCopyDropped) {
    const auto theirs =
        testsupport::writeModelBundle(folder.path(), "joint.mlmodelc", testsupport::modelManifest("theirs", {}, {}));
    const auto mine = testsupport::writeModelBundle(folder.path(), ".joint-1234.mlmodelc",
                                                    testsupport::modelManifest("mine", {}, {}));

    EXPECT_EQ(Bundles::cacheCompiledBundle(mine, theirs, logger), theirs);

    EXPECT_FALSE(fs::exists(mine));
    EXPECT_NE(testsupport::fileContents(theirs / "model.json").find("theirs"), std::string::npos);
    EXPECT_TRUE(log.messages(category).empty());
}

TEST_F(NemotronMultilingualModelBundlesTest, TheEnvironmentChoosesComputeUnitsByName) {
    const auto base = platform::ml::ModelConfiguration{.computeUnits = ComputeUnits::cpuAndNeuralEngine,
                                                       .allowLowPrecisionAccumulationOnGPU = true,
                                                       .functionName = {}};
    const std::pair<const char*, ComputeUnits> cases[] = {
        {"cpu_and_ne", ComputeUnits::cpuAndNeuralEngine},
        {"CPU", ComputeUnits::cpuOnly},
        {"Cpu_Only", ComputeUnits::cpuOnly},
        {"cpu_and_gpu", ComputeUnits::cpuAndGPU},
        {"all", ComputeUnits::all},
    };
    for (const auto& [value, units] : cases) {
        testsupport::ScopedEnvironment environment;
        environment.set("QUORLAUDIO_ENCODER_CU", value);
        const auto chosen = Bundles::computeUnitOverride("QUORLAUDIO_ENCODER_CU", base, logger);
        EXPECT_EQ(chosen.computeUnits, units) << value;
        // A new configuration: nothing else of the base carries over, even when the units are the base's.
        EXPECT_FALSE(chosen.allowLowPrecisionAccumulationOnGPU) << value;
    }
    EXPECT_EQ(messages(LogType::info).front(), "QUORLAUDIO_ENCODER_CU=CPU_AND_NE \u2192 MLComputeUnits.3");
    EXPECT_EQ(messages(LogType::info).size(), 5u);
}

TEST_F(NemotronMultilingualModelBundlesTest, UnknownOrMissingValuesKeepTheBase) {
    const auto base = platform::ml::ModelConfiguration{
        .computeUnits = ComputeUnits::cpuAndGPU, .allowLowPrecisionAccumulationOnGPU = true, .functionName = {}};
    for (const char* value : {" CPU", "GPU", "ane", ""}) {
        testsupport::ScopedEnvironment environment;
        environment.set("QUORLAUDIO_JOINT_CU", value);
        const auto chosen = Bundles::computeUnitOverride("QUORLAUDIO_JOINT_CU", base, logger);
        EXPECT_EQ(chosen.computeUnits, ComputeUnits::cpuAndGPU) << value;
        EXPECT_TRUE(chosen.allowLowPrecisionAccumulationOnGPU) << value;
    }
    EXPECT_EQ(messages(LogType::error),
              (std::vector<std::string>{"Unknown value for QUORLAUDIO_JOINT_CU:  CPU; ignoring",
                                        "Unknown value for QUORLAUDIO_JOINT_CU: GPU; ignoring",
                                        "Unknown value for QUORLAUDIO_JOINT_CU: ANE; ignoring",
                                        "Unknown value for QUORLAUDIO_JOINT_CU: ; ignoring"}));
    testsupport::ScopedEnvironment unset;
    unset.set("QUORLAUDIO_JOINT_CU", std::nullopt);
    EXPECT_TRUE(Bundles::computeUnitOverride("QUORLAUDIO_JOINT_CU", base, logger).allowLowPrecisionAccumulationOnGPU);
    EXPECT_TRUE(messages(LogType::info).empty());
}

TEST_F(NemotronMultilingualModelBundlesTest, OnlyFixedShapeOutputsThatAreNotFedBackGetBackings) {
    testsupport::ScriptedKernel kernel("bundles-options");
    const auto bundle =
        testsupport::writeModelBundle(folder.path(), "decoder_joint.mlmodelc",
                                      testsupport::modelManifest("bundles-options", {},
                                                                 {multiArrayFeature("logits", {1, 1, 5}),
                                                                  multiArrayFeature("token_id", {1}, DataType::int32),
                                                                  multiArrayFeature("h_out", {2, 1, 4}),
                                                                  multiArrayFeature("c_out", {2, 1, 4}),
                                                                  multiArrayFeature("flexible", {1, 0}),
                                                                  {{"name", "score"}, {"type", "double"}}}));
    const auto options = Bundles::makePredictionOptions(platform::ml::Model::load(bundle));
    ASSERT_TRUE(options);
    ASSERT_EQ(options->outputBackings.size(), 2u);
    const auto& logits = *options->outputBackings.at("logits");
    EXPECT_EQ(logits.shape(), (std::vector<std::size_t>{1, 1, 5}));
    EXPECT_EQ(logits.dataType(), DataType::float32);
    EXPECT_EQ(options->outputBackings.at("token_id")->dataType(), DataType::int32);

    const auto onlyFlexible = testsupport::writeModelBundle(
        folder.path(), "flexible.mlmodelc",
        testsupport::modelManifest("bundles-options", {}, {multiArrayFeature("encoded", {1, 0, 640})}));
    EXPECT_FALSE(Bundles::makePredictionOptions(platform::ml::Model::load(onlyFlexible)));
    EXPECT_FALSE(Bundles::makePredictionOptions(nullptr));
    EXPECT_EQ(Bundles::loopbackOutputNames(),
              (std::set<std::string>{"h_out", "c_out", "cache_channel_out", "cache_time_out", "cache_len_out",
                                     "mel_cache_out"}));
}

} // namespace
} // namespace quorl
