#include "QuorlAudio/asr/multilingual/NemotronMultilingualSharedPreloader.hpp"

#include "MultilingualStreamScript.hpp"
#include "MultilingualTestVariant.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using Model = MultilingualTestVariant::Model;
using Form = MultilingualTestVariant::Form;
using platform::ml::ComputeUnits;
using platform::sys::LogType;

constexpr const char* category = "NemotronMultilingualStreaming";
constexpr const char* leanLine = "Lean B1 ship: bare decoder/joint omitted; using fused decode path only.";

class NemotronMultilingualSharedPreloaderTest : public ::testing::Test {
protected:
    NemotronMultilingualSharedPreloaderTest() : variant(multilingualstream::smallMetadata()) {
        for (const char* name : {"QUORLAUDIO_ENCODER_CU", "QUORLAUDIO_DECODER_CU", "QUORLAUDIO_JOINT_CU",
                                 "QUORLAUDIO_DECODERJOINT_CU", "QUORLAUDIO_JOINT_BATCHED_CU"}) {
            environment.set(name, std::nullopt);
        }
    }

    SharedNemotronMultilingualModels preload(std::optional<platform::ml::ModelConfiguration> configuration = {}) {
        return NemotronMultilingualSharedPreloader::preload(variant.folder(), configuration);
    }
    std::vector<std::string> info() const { return log.messages(category, LogType::info); }
    bool logged(const std::string& line) const { return std::ranges::count(info(), line) == 1; }
    std::size_t loads(Model model) { return variant.kernel(model).loads().size(); }
    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(variant.folder())) {
            names.push_back(entry.path().filename().string());
        }
        std::ranges::sort(names);
        return names;
    }

    testsupport::ScopedEnvironment environment;
    testsupport::RecordingLogSink log;
    MultilingualTestVariant variant;
};

TEST_F(NemotronMultilingualSharedPreloaderTest, WithoutMetadataItFailsBeforeAnyModelIsTouched) {
    variant.addEncoder({});
    variant.add(Model::decoderJoint);
    fs::remove(variant.folder() / "metadata.json");

    EXPECT_EQ(testsupport::errorText([&] { preload(); }), "ASR processing failed: metadata.json not found at " +
                                                              (variant.folder() / "metadata.json").string() + ".");
    EXPECT_EQ(loads(Model::encoder), 0U);
    EXPECT_EQ(loads(Model::decoderJoint), 0U);
}

TEST_F(NemotronMultilingualSharedPreloaderTest, TheModelsFoundDecideBetweenASetAndAFailure) {
    struct Case {
        const char* name;
        bool encoder;
        std::vector<Model> models;
        bool batchedJoint;
        // Empty: the preload succeeds.
        std::string error;
        bool leanLine;
    };
    const std::string noDecodePath = ": provide a fused decoder_joint (B1/B3) or both bare decoder.mlmodelc + "
                                     "joint.mlmodelc.";
    const std::string smartSpec = "Smart-spec asset joint_noencproj_batched present but bare decoder/joint missing "
                                  "\u2014 K=4 needs both. Either add them or remove the smart-spec asset.";
    const std::vector<Case> cases{
        {"no encoder",
         false,
         {Model::decoderJoint},
         false,
         "Neither encoder.mlmodelc nor encoder.mlpackage found in ",
         false},
        {"decoder alone", true, {Model::decoder}, false, "No decode path in ", false},
        {"fused and batched joint, one bare model",
         true,
         {Model::decoderJoint, Model::decoder},
         true,
         "Smart-spec",
         false},
        {"argmax beside merged", true, {Model::decoderJointArgmax, Model::decoderJoint}, false, "", true},
        {"merged alone", true, {Model::decoderJoint}, false, "", true},
        {"bare pair alone", true, {Model::decoder, Model::joint}, false, "", false},
        {"fused and one bare model", true, {Model::decoderJointNoEncProj, Model::joint}, false, "", false},
        {"bare pair, fused and batched joint",
         true,
         {Model::decoder, Model::joint, Model::decoderJoint},
         true,
         "",
         false},
    };
    for (const Case& c : cases) {
        MultilingualTestVariant caseVariant(multilingualstream::smallMetadata());
        if (c.encoder) {
            caseVariant.addEncoder({});
        }
        for (const Model model : c.models) {
            caseVariant.add(model);
        }
        if (c.batchedJoint) {
            caseVariant.addBatchedJoint({1, 4, 640});
        }
        testsupport::RecordingLogSink caseLog;
        const std::string text = testsupport::errorText(
            [&] { NemotronMultilingualSharedPreloader::preload(caseVariant.folder(), std::nullopt); });
        const std::string folder = caseVariant.folder().string();
        const std::string expected = c.error.empty()           ? "nothing thrown"
                                     : c.error == "Smart-spec" ? "ASR processing failed: " + smartSpec
                                     : c.error == "No decode path in "
                                         ? "ASR processing failed: No decode path in " + folder + noDecodePath
                                         : "ASR processing failed: " + c.error + folder;
        EXPECT_EQ(text, expected) << c.name;
        const auto lines = caseLog.messages(category, LogType::info);
        EXPECT_EQ(std::ranges::count(lines, leanLine), c.leanLine ? 1 : 0) << c.name;
    }
}

TEST_F(NemotronMultilingualSharedPreloaderTest, OnlyTheMostFusedModelIsLoadedAndTheSetKeepsItsConfiguration) {
    variant.addEncoder({});
    variant.add(Model::decoderJointArgmax);
    variant.add(Model::decoderJointNoEncProj);
    variant.add(Model::decoderJoint);
    platform::ml::ModelConfiguration configuration;
    configuration.computeUnits = ComputeUnits::cpuAndGPU;
    configuration.allowLowPrecisionAccumulationOnGPU = false;

    const auto set = preload(configuration);

    EXPECT_TRUE(set.decoderJointArgmax);
    EXPECT_FALSE(set.decoderJointNoEncProj);
    EXPECT_FALSE(set.decoderJoint);
    EXPECT_EQ(loads(Model::decoderJointNoEncProj) + loads(Model::decoderJoint), 0U);
    EXPECT_EQ(set.mlConfiguration.computeUnits, ComputeUnits::cpuAndGPU);
    EXPECT_FALSE(set.mlConfiguration.allowLowPrecisionAccumulationOnGPU);
    EXPECT_EQ(set.encoder->configuration().computeUnits, ComputeUnits::cpuAndGPU);
    EXPECT_EQ(set.decoderJointArgmax->configuration().computeUnits, ComputeUnits::cpuAndGPU);
    EXPECT_EQ(set.config.chunkMelFrames, 20);
    ASSERT_TRUE(set.tokenizer);
    EXPECT_EQ(set.tokenizer->langTagTokenId("de"), 3);
    EXPECT_EQ(info(), (std::vector<std::string>{
                          "Preloading shared Nemotron multilingual models from " + variant.folder().string() + "...",
                          "Loaded multilingual config: 200ms chunks, vocab=5, 128 prompts",
                          "Loaded shared decoder_joint_argmax.mlmodelc",
                          leanLine,
                          "Shared models preload complete \u2014 ready for N consumers",
                      }));
}

TEST_F(NemotronMultilingualSharedPreloaderTest, WithoutAConfigurationModelsRunOnTheCpuAndTheNeuralEngine) {
    variant.addEncoder({});
    variant.add(Model::decoderJoint);

    const auto set = preload();

    EXPECT_EQ(set.mlConfiguration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_TRUE(set.mlConfiguration.allowLowPrecisionAccumulationOnGPU);
    EXPECT_EQ(set.decoderJoint->configuration().computeUnits, ComputeUnits::cpuAndNeuralEngine);
}

TEST_F(NemotronMultilingualSharedPreloaderTest, OnlyTheBatchedJointVariableCountsAndAnUnknownValueIsReportedAnyway) {
    variant.addEncoder({});
    variant.add(Model::decoder);
    variant.add(Model::joint);
    for (const char* name : {"QUORLAUDIO_ENCODER_CU", "QUORLAUDIO_DECODER_CU", "QUORLAUDIO_JOINT_CU"}) {
        environment.set(name, "CPU");
    }
    environment.set("QUORLAUDIO_JOINT_BATCHED_CU", "gpu");

    const auto withoutBatchedJoint = preload();

    EXPECT_EQ(withoutBatchedJoint.encoder->configuration().computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(withoutBatchedJoint.joint->configuration().computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(log.messages(category, LogType::error),
              (std::vector<std::string>{"Unknown value for QUORLAUDIO_JOINT_BATCHED_CU: GPU; ignoring"}));

    variant.addBatchedJoint({1, 4, 640});
    environment.set("QUORLAUDIO_JOINT_BATCHED_CU", "cpu_only");
    const auto withBatchedJoint = preload();

    EXPECT_EQ(withBatchedJoint.jointNoEncProjBatched->configuration().computeUnits, ComputeUnits::cpuOnly);
    EXPECT_EQ(withBatchedJoint.mlConfiguration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_TRUE(logged("Loaded shared joint_noencproj_batched.mlmodelc"));
}

TEST_F(NemotronMultilingualSharedPreloaderTest, APackageIsCompiledAtEveryPreloadAndNoCompiledCopyStays) {
    variant.addEncoder({});
    variant.add(Model::decoderJoint, Form::package);
    const auto before = folderEntries();

    for (int preloadNumber = 0; preloadNumber < 2; ++preloadNumber) {
        EXPECT_TRUE(preload().decoderJoint);
    }

    EXPECT_EQ(loads(Model::decoderJoint), 2U);
    EXPECT_EQ(std::ranges::count(info(), "Compiled + loaded shared decoder_joint.mlpackage"), 2);
    EXPECT_EQ(folderEntries(), before);
}

TEST_F(NemotronMultilingualSharedPreloaderTest, ACompiledBundleWinsOverItsPackage) {
    variant.addEncoder({});
    variant.add(Model::decoderJoint, Form::package);
    variant.add(Model::decoderJoint);

    preload();

    const auto loaded = variant.kernel(Model::decoderJoint).loads();
    ASSERT_EQ(loaded.size(), 1U);
    EXPECT_EQ(loaded[0].bundlePath, variant.folder() / "decoder_joint.mlmodelc");
}

TEST_F(NemotronMultilingualSharedPreloaderTest, AModelThatExistsButFailsToLoadEndsThePreload) {
    variant.addEncoder({});
    variant.add(Model::decoder);
    variant.add(Model::joint);
    variant.add(Model::decoderJoint);
    variant.kernel(Model::joint).failLoadsWith(std::make_exception_ptr(std::runtime_error("joint refused")));

    EXPECT_EQ(testsupport::errorText([&] { preload(); }), "joint refused");
}

TEST_F(NemotronMultilingualSharedPreloaderTest, AStatefulEncoderIsMarkedWhereModelStateExists) {
    variant.addStatefulEncoder();
    variant.add(Model::decoderJoint);

    const auto set = preload();

    const bool supported = platform::ml::statefulModelsSupported();
    EXPECT_EQ(set.encoderIsStateful, supported);
    EXPECT_EQ(logged("Encoder has MLState \u2014 per-stream state will be allocated on consumer init"), supported);
}

} // namespace
} // namespace quorl
