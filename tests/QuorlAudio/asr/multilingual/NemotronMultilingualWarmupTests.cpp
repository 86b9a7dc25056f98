#include "QuorlAudio/asr/multilingual/NemotronMultilingualWarmup.hpp"

#include "MultilingualTestVariant.hpp"
#include "QuorlAudio/asr/streaming/EncoderCacheManager.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace quorl {
namespace {

using Model = MultilingualTestVariant::Model;
using platform::ml::DataType;
using platform::ml::MultiArray;

const nlohmann::json smallMetadata{
    {"mel_features", 16},
    {"chunk_mel_frames", 20},
    {"total_mel_frames", 23},
    {"pre_encode_cache", 3},
    {"vocab_size", 6},
    {"encoder_dim", 4},
    {"decoder_hidden", 8},
    {"decoder_layers", 2},
    {"cache_channel_shape", {1, 2, 3, 4}},
    {"cache_time_shape", {1, 2, 4, 2}},
};

std::vector<double> valuesOf(const platform::ml::FeatureValue& value) {
    return testsupport::valuesOf(*value.multiArrayValue());
}

std::vector<std::size_t> shapeOf(const platform::ml::FeatureValue& value) { return value.multiArrayValue()->shape(); }

class NemotronMultilingualWarmupTest : public ::testing::Test {
protected:
    NemotronMultilingualWarmupTest() {
        auto caches = EncoderCacheManager::createInitialCaches(
            {.channelShape = {1, 2, 3, 4}, .timeShape = {1, 2, 4, 2}, .lenShape = {1}});
        state.cacheChannel = caches.channel;
        state.cacheTime = caches.time;
        state.cacheLen = caches.len;
        state.cacheLen->data<std::int32_t>()[0] = 1;
        state.hState = EncoderCacheManager::createZeroArray({2, 1, 8}, DataType::float32);
        state.cState = EncoderCacheManager::createZeroArray({2, 1, 8}, DataType::float32);
        state.lastToken = 6;
    }

    void load(Model model, std::shared_ptr<platform::ml::Model> NemotronMultilingualModels::*field) {
        variant.add(model);
        models.*field =
            platform::ml::Model::load(variant.folder() / (MultilingualTestVariant::stem(model) + ".mlmodelc"));
    }

    void run() {
        NemotronMultilingualWarmup{.models = models, .state = state, .config = config, .promptId = 42}.run(logger);
    }

    std::vector<std::string> messages() const { return log.messages("NemotronMultilingualStreaming"); }

    testsupport::RecordingLogSink log;
    MultilingualTestVariant variant{smallMetadata};
    const NemotronMultilingualStreamingConfig config =
        NemotronMultilingualStreamingConfig::read(variant.folder() / "metadata.json");
    NemotronMultilingualModels models;
    NemotronMultilingualStreamState state;
    const AppLogger logger{"NemotronMultilingualStreaming"};
};

TEST_F(NemotronMultilingualWarmupTest, TheEncoderTheArgmaxFusionAndTheBatchedJointRunOnNeutralInputs) {
    load(Model::encoder, &NemotronMultilingualModels::encoder);
    load(Model::decoderJointArgmax, &NemotronMultilingualModels::decoderJointArgmax);
    load(Model::decoderJoint, &NemotronMultilingualModels::decoderJoint);
    variant.addBatchedJoint({1, 4, 640});
    models.jointNoEncProjBatched = platform::ml::Model::load(variant.folder() / "joint_noencproj_batched.mlmodelc");
    models.jointNoEncProjBatchedK = 4;
    auto backing = EncoderCacheManager::createZeroArray({1, 4}, DataType::int32);
    models.jointNoEncProjBatchedPredictionOptions =
        platform::ml::PredictionOptions{.outputBackings = {{"token_ids", backing}}};

    run();

    EXPECT_EQ(variant.predictionOrder(),
              (std::vector<std::string>{"encoder", "decoder_joint_argmax", "joint_noencproj_batched"}));
    EXPECT_EQ(messages(), std::vector<std::string>{"Model warm-up complete"});
    const auto encoder = variant.kernel(Model::encoder).calls().at(0);
    EXPECT_EQ(encoder.inputs.size(), 6u);
    EXPECT_EQ(shapeOf(encoder.inputs.at("mel")), (std::vector<std::size_t>{1, 16, 23}));
    EXPECT_EQ(valuesOf(encoder.inputs.at("mel")), std::vector<double>(16 * 23, 0.0));
    EXPECT_EQ(valuesOf(encoder.inputs.at("mel_length")), std::vector<double>{23});
    EXPECT_EQ(valuesOf(encoder.inputs.at("prompt_id")), std::vector<double>{42});
    EXPECT_EQ(valuesOf(encoder.inputs.at("cache_len")), std::vector<double>{1});
    EXPECT_TRUE(encoder.options.outputBackings.empty());
    EXPECT_EQ(encoder.state, nullptr);
    const auto fused = variant.kernel(Model::decoderJointArgmax).calls().at(0);
    EXPECT_EQ(valuesOf(fused.inputs.at("token")), std::vector<double>{6});
    EXPECT_EQ(valuesOf(fused.inputs.at("token_length")), std::vector<double>{1});
    EXPECT_EQ(valuesOf(fused.inputs.at("encoder")), std::vector<double>(4, 0.0));
    EXPECT_EQ(shapeOf(fused.inputs.at("h_in")), (std::vector<std::size_t>{2, 1, 8}));
    EXPECT_TRUE(variant.kernel(Model::decoderJoint).calls().empty());
    const auto batched = variant.kernel(Model::jointNoEncProjBatched).calls().at(0);
    EXPECT_EQ(shapeOf(batched.inputs.at("encoder_proj")), (std::vector<std::size_t>{1, 4, 640}));
    EXPECT_EQ(shapeOf(batched.inputs.at("decoder")), (std::vector<std::size_t>{1, 640, 1}));
    EXPECT_EQ(batched.options.outputBackings.at("token_ids"), backing);
}

TEST_F(NemotronMultilingualWarmupTest, TheStreamStateIsLeftAsItWas) {
    load(Model::encoder, &NemotronMultilingualModels::encoder);
    load(Model::decoder, &NemotronMultilingualModels::decoder);
    load(Model::joint, &NemotronMultilingualModels::joint);
    const NemotronMultilingualStreamState before = state;
    const auto hValues = testsupport::valuesOf(*state.hState);

    run();

    EXPECT_EQ(variant.predictionOrder(), (std::vector<std::string>{"encoder", "decoder", "joint"}));
    EXPECT_EQ(state.cacheChannel, before.cacheChannel);
    EXPECT_EQ(state.cacheTime, before.cacheTime);
    EXPECT_EQ(state.cacheLen, before.cacheLen);
    EXPECT_EQ(state.hState, before.hState);
    EXPECT_EQ(state.cState, before.cState);
    EXPECT_EQ(state.lastToken, 6);
    EXPECT_EQ(testsupport::valuesOf(*state.cacheLen), std::vector<double>{1});
    EXPECT_EQ(testsupport::valuesOf(*state.hState), hValues);
    const auto joint = variant.kernel(Model::joint).calls().at(0);
    EXPECT_EQ(valuesOf(joint.inputs.at("decoder")), std::vector<double>(640, 0.0));
}

TEST_F(NemotronMultilingualWarmupTest, OnlyTheModelsOfACompleteStepRun) {
    using Field = std::shared_ptr<platform::ml::Model> NemotronMultilingualModels::*;
    struct Case {
        const char* name;
        std::vector<std::pair<Model, Field>> decoderSide;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {"projected fusion only",
         {{Model::decoderJointNoEncProj, &NemotronMultilingualModels::decoderJointNoEncProj}},
         {"encoder"}},
        {"decoder without joint", {{Model::decoder, &NemotronMultilingualModels::decoder}}, {"encoder"}},
        {"merged fusion before the bare pair",
         {{Model::decoderJoint, &NemotronMultilingualModels::decoderJoint},
          {Model::decoder, &NemotronMultilingualModels::decoder},
          {Model::joint, &NemotronMultilingualModels::joint}},
         {"encoder", "decoder_joint"}},
    };
    for (const auto& testCase : cases) {
        MultilingualTestVariant caseVariant{smallMetadata};
        NemotronMultilingualModels caseModels;
        caseVariant.add(Model::encoder);
        caseModels.encoder = platform::ml::Model::load(caseVariant.folder() / "encoder.mlmodelc");
        for (const auto& [model, field] : testCase.decoderSide) {
            caseVariant.add(model);
            caseModels.*field =
                platform::ml::Model::load(caseVariant.folder() / (MultilingualTestVariant::stem(model) + ".mlmodelc"));
        }
        NemotronMultilingualWarmup{.models = caseModels, .state = state, .config = config, .promptId = 1}.run(logger);
        EXPECT_EQ(caseVariant.predictionOrder(), testCase.order) << testCase.name;
    }
    EXPECT_EQ(messages(), std::vector<std::string>(3, "Model warm-up complete"));
}

TEST_F(NemotronMultilingualWarmupTest, FailedPredictionsAreDroppedAndTheRestStillRuns) {
    load(Model::encoder, &NemotronMultilingualModels::encoder);
    load(Model::decoder, &NemotronMultilingualModels::decoder);
    load(Model::joint, &NemotronMultilingualModels::joint);
    variant.kernel(Model::encoder).failPredictionsWith(std::make_exception_ptr(std::runtime_error("encoder down")));
    variant.kernel(Model::decoder).failPredictionsWith(std::make_exception_ptr(std::runtime_error("decoder down")));

    run();

    EXPECT_EQ(variant.kernel(Model::encoder).calls().size(), 1u);
    EXPECT_EQ(variant.kernel(Model::decoder).calls().size(), 1u);
    EXPECT_EQ(variant.predictionOrder(), std::vector<std::string>{"joint"});
    EXPECT_EQ(messages(), std::vector<std::string>{"Model warm-up complete"});
}

TEST_F(NemotronMultilingualWarmupTest, NothingRunsWithoutAnEncoderOrState) {
    load(Model::decoderJointArgmax, &NemotronMultilingualModels::decoderJointArgmax);
    run();
    load(Model::encoder, &NemotronMultilingualModels::encoder);
    state.hState.reset();
    run();
    EXPECT_TRUE(variant.predictionOrder().empty());
    EXPECT_TRUE(messages().empty());
}

} // namespace
} // namespace quorl
