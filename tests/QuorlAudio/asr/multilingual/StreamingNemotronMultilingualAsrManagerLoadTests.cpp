#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "MultilingualTestVariant.hpp"
#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
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
using Probe = StreamingNemotronMultilingualAsrManagerProbe;
using platform::ml::ComputeUnits;
using platform::ml::DataType;
using platform::sys::LogType;
using Shape = std::vector<std::size_t>;

constexpr const char* category = "NemotronMultilingualStreaming";

const nlohmann::json smallMetadata{
    {"mel_features", 16},
    {"chunk_mel_frames", 20},
    {"total_mel_frames", 23},
    {"pre_encode_cache", 3},
    {"vocab_size", 4},
    {"encoder_dim", 4},
    {"decoder_hidden", 8},
    {"decoder_layers", 2},
    {"cache_channel_shape", {1, 2, 3, 4}},
    {"cache_time_shape", {1, 2, 4, 2}},
    {"lang_tag_token_ids", {2, 3}},
    {"default_prompt_id", 7},
};

bool allZero(const platform::ml::MultiArray& array) {
    const auto values = testsupport::valuesOf(array);
    return std::ranges::all_of(values, [](double value) { return value == 0.0; });
}

class StreamingNemotronMultilingualAsrManagerLoadTest : public ::testing::Test {
protected:
    StreamingNemotronMultilingualAsrManagerLoadTest() {
        environment.set("QUORLAUDIO_ENABLE_SMART_SPECULATIVE", std::nullopt);
        for (const char* name : {"QUORLAUDIO_ENCODER_CU", "QUORLAUDIO_DECODER_CU", "QUORLAUDIO_JOINT_CU",
                                 "QUORLAUDIO_DECODERJOINT_CU", "QUORLAUDIO_JOINT_BATCHED_CU"}) {
            environment.set(name, std::nullopt);
        }
    }

    std::vector<std::string> info() const { return log.messages(category, LogType::info); }
    std::vector<std::string> warnings() const { return log.messages(category, LogType::error); }
    bool logged(const std::string& line) const { return std::ranges::count(info(), line) == 1; }

    testsupport::ScopedEnvironment environment;
    testsupport::RecordingLogSink log;
    StreamingNemotronMultilingualAsrManager manager;
};

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, ANewManagerHoldsTheDefaultsAndNoModels) {
    const auto configuration = manager.mlConfiguration();
    EXPECT_EQ(configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_TRUE(configuration.allowLowPrecisionAccumulationOnGPU);
    EXPECT_EQ(manager.config(), NemotronMultilingualStreamingConfig{});
    EXPECT_EQ(Probe::state(manager).lastToken, 13087);
    EXPECT_EQ(Probe::currentPromptId(manager), 101);
    EXPECT_EQ(Probe::models(manager).jointNoEncProjBatchedK, 8);
    EXPECT_FALSE(Probe::models(manager).encoder);
    EXPECT_FALSE(Probe::state(manager).cacheChannel);
    EXPECT_TRUE(log.messages(category).empty());

    const StreamingNemotronMultilingualAsrManager given(platform::ml::ModelConfiguration{
        .computeUnits = ComputeUnits::cpuOnly, .allowLowPrecisionAccumulationOnGPU = false, .functionName = {}});
    EXPECT_EQ(given.mlConfiguration().computeUnits, ComputeUnits::cpuOnly);
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, AFullVariantLoadsTheMostFusedPathAndWarmsUp) {
    MultilingualTestVariant variant;
    for (const Model model : {Model::encoder, Model::decoder, Model::joint, Model::decoderJointArgmax,
                              Model::decoderJointNoEncProj, Model::decoderJoint}) {
        variant.add(model);
    }
    variant.addBatchedJoint({1, 4, 640});

    manager.loadModels(variant.folder());

    const std::vector<std::string> expected{
        "Loading Nemotron multilingual CoreML models from " + variant.folder().string() + "...",
        "Loaded multilingual config: 1120ms chunks, vocab=13087, 128 prompts, default=101",
        "Loaded decoder_joint_argmax \u2014 using triple-fusion inner-loop path",
        "Loaded joint_noencproj_batched \u2014 smart speculative-blank path available",
        "Smart-spec K = 4 (from joint_noencproj_batched encoder_proj input shape)",
        "Smart-spec: enabled (default-on; assets present; K=4)",
        "Model warm-up complete",
        "Nemotron multilingual models loaded successfully (1120ms chunks).",
    };
    EXPECT_EQ(info(), expected);
    EXPECT_TRUE(warnings().empty());
    EXPECT_EQ(variant.predictionOrder(),
              (std::vector<std::string>{"encoder", "decoder_joint_argmax", "joint_noencproj_batched"}));
    const auto& models = Probe::models(manager);
    EXPECT_TRUE(models.encoder && models.decoder && models.joint && models.decoderJointArgmax);
    EXPECT_FALSE(models.decoderJointNoEncProj);
    EXPECT_FALSE(models.decoderJoint);
    EXPECT_EQ(models.jointNoEncProjBatchedK, 4);
    EXPECT_TRUE(variant.kernel(Model::decoderJoint).loads().empty());
    EXPECT_TRUE(variant.kernel(Model::decoderJointNoEncProj).loads().empty());
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, LoadingLeavesAFreshStreamUntouchedByTheWarmUp) {
    MultilingualTestVariant variant;
    variant.add(Model::encoder);
    variant.add(Model::decoderJointArgmax);

    manager.loadModels(variant.folder());

    const auto& state = Probe::state(manager);
    EXPECT_EQ(state.cacheChannel->shape(), (Shape{1, 24, 56, 1024}));
    EXPECT_EQ(state.cacheTime->shape(), (Shape{1, 24, 1024, 8}));
    EXPECT_TRUE(allZero(*state.cacheChannel));
    EXPECT_TRUE(allZero(*state.cacheTime));
    EXPECT_EQ(state.cacheLen->dataType(), DataType::int32);
    EXPECT_EQ(testsupport::valuesOf(*state.cacheLen), std::vector<double>{1});
    EXPECT_EQ(state.hState->shape(), (Shape{2, 1, 640}));
    EXPECT_EQ(state.cState->shape(), (Shape{2, 1, 640}));
    EXPECT_NE(state.hState, state.cState);
    EXPECT_TRUE(allZero(*state.hState));
    EXPECT_TRUE(allZero(*state.cState));
    EXPECT_EQ(state.lastToken, 13087);
    EXPECT_FALSE(state.melCache || state.prefetchedEncoded || state.prefetchedEncoderProj || state.encoderState);
    // The warm-up passed the very state the stream starts from.
    const auto warm = variant.kernel(Model::decoderJointArgmax).calls().at(0);
    EXPECT_EQ(warm.inputs.at("h_in").multiArrayValue()->shape(), (Shape{2, 1, 640}));
    EXPECT_EQ(
        testsupport::valuesOf(*variant.kernel(Model::encoder).calls().at(0).inputs.at("cache_len").multiArrayValue()),
        std::vector<double>{1});

    EXPECT_EQ(Probe::encoderStepBuf(manager)->shape(), (Shape{1, 1024, 1}));
    EXPECT_EQ(Probe::encoderProjStepBuf(manager)->shape(), (Shape{1, 1, 640}));
    EXPECT_EQ(Probe::tokenInputBuf(manager)->shape(), (Shape{1, 1}));
    EXPECT_EQ(Probe::tokenInputBuf(manager)->dataType(), DataType::int32);
    EXPECT_EQ(testsupport::valuesOf(*Probe::tokenLenBuf(manager)), std::vector<double>{1});
    EXPECT_NE(&*Probe::melExtractor(manager)->mel, &*Probe::prefetchMelExtractor(manager)->mel);
    EXPECT_EQ(Probe::melExtractor(manager)->nMels, 128);
    EXPECT_EQ(Probe::tokenizer(manager)->decode(std::vector<std::int64_t>{0, 1}).text, "hello world");
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, PredictionOptionsBackEveryLoadedModelsFixedOutputs) {
    MultilingualTestVariant variant(smallMetadata);
    variant.add(Model::encoder);
    variant.add(Model::decoder);
    variant.add(Model::joint);

    manager.loadModels(variant.folder());

    const auto& models = Probe::models(manager);
    ASSERT_TRUE(models.encoderPredictionOptions);
    EXPECT_EQ(models.encoderPredictionOptions->outputBackings.size(), 1u);
    EXPECT_TRUE(models.encoderPredictionOptions->outputBackings.contains("encoded"));
    ASSERT_TRUE(models.decoderPredictionOptions);
    EXPECT_EQ(models.decoderPredictionOptions->outputBackings.size(), 1u);
    EXPECT_TRUE(models.decoderPredictionOptions->outputBackings.contains("decoder_out"));
    ASSERT_TRUE(models.jointPredictionOptions);
    EXPECT_FALSE(models.decoderJointArgmaxPredictionOptions || models.decoderJointPredictionOptions ||
                 models.decoderJointNoEncProjPredictionOptions || models.jointNoEncProjBatchedPredictionOptions);
    EXPECT_EQ(manager.config().defaultPromptId, 7);
    EXPECT_EQ(Probe::currentPromptId(manager), 7);
    EXPECT_EQ(Probe::state(manager).lastToken, 4);
    EXPECT_EQ(Probe::tokenizer(manager)->langTagTokenIds(), (std::set<std::int64_t>{2, 3}));
    EXPECT_EQ(variant.predictionOrder(), (std::vector<std::string>{"encoder", "decoder", "joint"}));
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, TheFusedModelsAreTakenInOrderOfPreference) {
    struct Case {
        const char* name;
        std::vector<Model> present;
        std::optional<std::string> line;
    };
    const Case cases[] = {
        {"projected and merged",
         {Model::decoderJointNoEncProj, Model::decoderJoint},
         "Loaded decoder_joint_noencproj \u2014 using B3+B1 inner-loop path"},
        {"merged alone", {Model::decoderJoint}, "Loaded decoder_joint \u2014 using merged inner-loop path"},
        {"bare pair", {Model::decoder, Model::joint}, std::nullopt},
    };
    for (const auto& testCase : cases) {
        MultilingualTestVariant variant(smallMetadata);
        variant.add(Model::encoder);
        for (const Model model : testCase.present) {
            variant.add(model);
        }
        StreamingNemotronMultilingualAsrManager fresh;
        testsupport::RecordingLogSink caseLog;
        fresh.loadModels(variant.folder());
        const auto& models = Probe::models(fresh);
        EXPECT_EQ(bool(models.decoderJointNoEncProj), testCase.present.front() == Model::decoderJointNoEncProj)
            << testCase.name;
        EXPECT_EQ(bool(models.decoderJoint), testCase.present.front() == Model::decoderJoint) << testCase.name;
        const auto lines = caseLog.messages(category, LogType::info);
        const auto loadedLines =
            std::ranges::count_if(lines, [](const auto& line) { return line.starts_with("Loaded decoder"); });
        EXPECT_EQ(loadedLines, testCase.line ? 1 : 0) << testCase.name;
        if (testCase.line) {
            EXPECT_EQ(std::ranges::count(lines, *testCase.line), 1) << testCase.name;
        }
    }
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, TheEnvironmentChoosesEachModelsComputeUnits) {
    MultilingualTestVariant variant(smallMetadata);
    variant.add(Model::encoder);
    variant.add(Model::decoderJointArgmax);
    variant.addBatchedJoint({1, 8, 640});
    environment.set("QUORLAUDIO_ENCODER_CU", "cpu_and_ne")
        .set("QUORLAUDIO_DECODERJOINT_CU", "CPU")
        .set("QUORLAUDIO_JOINT_BATCHED_CU", "GPU");
    StreamingNemotronMultilingualAsrManager onAll(platform::ml::ModelConfiguration{
        .computeUnits = ComputeUnits::all, .allowLowPrecisionAccumulationOnGPU = true, .functionName = {}});

    onAll.loadModels(variant.folder());

    EXPECT_TRUE(logged("QUORLAUDIO_ENCODER_CU=CPU_AND_NE \u2192 MLComputeUnits.3"));
    EXPECT_TRUE(logged("QUORLAUDIO_DECODERJOINT_CU=CPU \u2192 MLComputeUnits.0"));
    EXPECT_EQ(warnings(), std::vector<std::string>{"Unknown value for QUORLAUDIO_JOINT_BATCHED_CU: GPU; ignoring"});
    EXPECT_EQ(variant.kernel(Model::encoder).loads().at(0).configuration.computeUnits,
              ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(variant.kernel(Model::decoderJointArgmax).loads().at(0).configuration.computeUnits,
              ComputeUnits::cpuOnly);
    const auto batched = variant.kernel(Model::jointNoEncProjBatched).loads().at(0).configuration;
    EXPECT_EQ(batched.computeUnits, ComputeUnits::all);
    EXPECT_TRUE(batched.allowLowPrecisionAccumulationOnGPU);
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, TheMergedFusionIsNeverSubjectToAComputeUnitVariable) {
    MultilingualTestVariant variant(smallMetadata);
    variant.add(Model::encoder);
    variant.add(Model::decoderJoint);
    environment.set("QUORLAUDIO_DECODERJOINT_CU", "CPU");

    manager.loadModels(variant.folder());

    EXPECT_EQ(variant.kernel(Model::decoderJoint).loads().at(0).configuration.computeUnits,
              ComputeUnits::cpuAndNeuralEngine);
    EXPECT_FALSE(logged("QUORLAUDIO_DECODERJOINT_CU=CPU \u2192 MLComputeUnits.0"));
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, TheSmartSpeculativeReportNamesWhatTheChunksWillFind) {
    struct Case {
        const char* name;
        std::optional<std::string> variable;
        std::optional<Shape> batchedInput;
        std::vector<std::string> infoLines;
        std::vector<std::string> warningLines;
    };
    const std::string missing =
        "Smart-spec: assets missing (joint_noencproj_batched.mlpackage); falling back to legacy inner loop";
    const Case cases[] = {
        {"absent, unset", std::nullopt, std::nullopt, {missing}, {}},
        {"absent, set", "1", std::nullopt, {}, {missing}},
        {"absent, disabled",
         "FALSE",
         std::nullopt,
         {"Smart-spec: explicitly disabled via QUORLAUDIO_ENABLE_SMART_SPECULATIVE=FALSE"},
         {}},
        {"absent, off is no switch", "off", std::nullopt, {}, {missing}},
        {"absent, blank is no switch", " no", std::nullopt, {}, {missing}},
        {"present, disabled",
         "No",
         Shape{1, 4, 640},
         {"Smart-spec K = 4 (from joint_noencproj_batched encoder_proj input shape)",
          "Smart-spec: explicitly disabled via QUORLAUDIO_ENABLE_SMART_SPECULATIVE=No"},
         {}},
        {"present, flat input",
         std::nullopt,
         Shape{640},
         {"Smart-spec: enabled (default-on; assets present; K=8)"},
         {}},
    };
    for (const auto& testCase : cases) {
        MultilingualTestVariant variant(smallMetadata);
        variant.add(Model::encoder);
        if (testCase.batchedInput) {
            variant.addBatchedJoint(*testCase.batchedInput);
        }
        testsupport::ScopedEnvironment caseEnvironment;
        caseEnvironment.set("QUORLAUDIO_ENABLE_SMART_SPECULATIVE", testCase.variable);
        testsupport::RecordingLogSink caseLog;
        StreamingNemotronMultilingualAsrManager fresh;

        fresh.loadModels(variant.folder());

        std::vector<std::string> smartLines;
        for (const auto& line : caseLog.messages(category, LogType::info)) {
            if (line.starts_with("Smart-spec")) {
                smartLines.push_back(line);
            }
        }
        EXPECT_EQ(smartLines, testCase.infoLines) << testCase.name;
        EXPECT_EQ(caseLog.messages(category, LogType::error), testCase.warningLines) << testCase.name;
    }
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, PackagesAreCompiledOnTheWay) {
    MultilingualTestVariant variant(smallMetadata);
    variant.add(Model::encoder, MultilingualTestVariant::Form::package);
    variant.add(Model::decoderJoint, MultilingualTestVariant::Form::package);

    manager.loadModels(variant.folder());

    EXPECT_TRUE(logged("Compiling encoder.mlpackage to .mlmodelc (first run only)..."));
    EXPECT_TRUE(logged("Compiling decoder_joint.mlpackage to .mlmodelc (first run only)..."));
    EXPECT_EQ(variant.kernel(Model::encoder).loads().at(0).bundlePath, variant.folder() / "encoder.mlmodelc");
    EXPECT_TRUE(Probe::models(manager).decoderJoint);
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, AMissingMetadataFileLeavesTheManagerAsItWas) {
    MultilingualTestVariant variant(smallMetadata);
    variant.add(Model::encoder);
    fs::remove(variant.folder() / "metadata.json");

    EXPECT_EQ(testsupport::errorText([&] { manager.loadModels(variant.folder()); }),
              "ASR processing failed: metadata.json not found at " + (variant.folder() / "metadata.json").string() +
                  ". The multilingual variant requires it for prompt_dictionary and lang_tag_token_ids.");
    EXPECT_EQ(manager.config(), NemotronMultilingualStreamingConfig{});
    EXPECT_FALSE(Probe::melExtractor(manager));
    EXPECT_TRUE(variant.kernel(Model::encoder).loads().empty());
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, FailuresAfterTheMetadataKeepWhatWasInstalled) {
    MultilingualTestVariant noEncoder(smallMetadata);
    EXPECT_EQ(testsupport::errorText([&] { manager.loadModels(noEncoder.folder()); }),
              "ASR processing failed: Could not find encoder.mlmodelc or encoder.mlpackage in " +
                  noEncoder.folder().string());
    EXPECT_EQ(manager.config().melFeatures, 16);
    EXPECT_EQ(Probe::melExtractor(manager)->nMels, 16);
    EXPECT_EQ(Probe::prefetchMelExtractor(manager)->nMels, 16);
    EXPECT_EQ(Probe::currentPromptId(manager), 7);

    MultilingualTestVariant noTokenizer(smallMetadata);
    noTokenizer.add(Model::encoder);
    noTokenizer.add(Model::decoderJoint);
    fs::remove(noTokenizer.folder() / "tokenizer.json");
    EXPECT_THROW(manager.loadModels(noTokenizer.folder()), std::filesystem::filesystem_error);
    EXPECT_TRUE(Probe::models(manager).encoder && Probe::models(manager).decoderJoint);
    EXPECT_FALSE(Probe::tokenizer(manager));
    EXPECT_TRUE(noTokenizer.predictionOrder().empty());
}

// A second variant's load must not pair its encoder with the first one's decoder side, nor let the first
// one's fused models outrank its own.
TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, ASecondVariantStartsFromNoModels) {
    MultilingualTestVariant first(smallMetadata);
    first.addStatefulEncoder();
    first.add(Model::decoderJointArgmax);
    first.add(Model::decoder);
    first.addBatchedJoint({1, 4, 640});
    manager.loadModels(first.folder());
    ASSERT_TRUE(Probe::state(manager).encoderState);

    MultilingualTestVariant second(smallMetadata);
    second.add(Model::encoder);
    second.add(Model::decoderJoint);
    manager.loadModels(second.folder());

    const auto& models = Probe::models(manager);
    EXPECT_TRUE(models.decoderJoint);
    EXPECT_FALSE(models.decoderJointArgmax || models.decoder || models.jointNoEncProjBatched);
    EXPECT_FALSE(models.decoderJointArgmaxPredictionOptions || models.jointNoEncProjBatchedPredictionOptions);
    EXPECT_EQ(models.jointNoEncProjBatchedK, 8);
    EXPECT_FALSE(Probe::state(manager).encoderState);
    EXPECT_EQ(second.predictionOrder(), (std::vector<std::string>{"encoder", "decoder_joint"}));
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, AStatefulEncoderGetsItsStateWhereTheSystemRunsThem) {
    MultilingualTestVariant variant(smallMetadata);
    variant.addStatefulEncoder();
    const std::string line = "Loaded stateful encoder (MLState cache) \u2014 using ANE-resident cache path";

    manager.loadModels(variant.folder());
    EXPECT_TRUE(logged(line));
    const auto state = Probe::state(manager).encoderState;
    ASSERT_TRUE(state);
    EXPECT_EQ(state->stateNames(), std::set<std::string>{"encoder_cache"});
    // Resetting the stream gives it a new state object.
    manager.resetStates();
    EXPECT_NE(Probe::state(manager).encoderState, state);

    platform::ml::setStatefulModelsSupported(false);
    StreamingNemotronMultilingualAsrManager older;
    older.loadModels(variant.folder());
    platform::ml::setStatefulModelsSupported(true);
    EXPECT_FALSE(Probe::state(older).encoderState);
    EXPECT_EQ(std::ranges::count(info(), line), 1);
}

TEST_F(StreamingNemotronMultilingualAsrManagerLoadTest, ResetStatesGivesFreshSeparateArrays) {
    MultilingualTestVariant variant(smallMetadata);
    variant.add(Model::encoder);
    manager.loadModels(variant.folder());
    const auto before = Probe::state(manager);
    before.hState->data<float>()[0] = 5;
    before.cacheLen->data<std::int32_t>()[0] = 9;

    manager.resetStates();

    const auto& after = Probe::state(manager);
    EXPECT_NE(after.hState, before.hState);
    EXPECT_NE(after.cacheChannel, before.cacheChannel);
    EXPECT_EQ(after.hState->shape(), (Shape{2, 1, 8}));
    EXPECT_TRUE(allZero(*after.hState));
    EXPECT_EQ(testsupport::valuesOf(*after.cacheLen), std::vector<double>{1});
    EXPECT_EQ(after.lastToken, 4);
}

} // namespace
} // namespace quorl
