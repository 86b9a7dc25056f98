#include "QuorlAudio/diarization/streaming/LSEENDError.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDInput.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDModel.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDState.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "tests/QuorlAudio/diarization/streaming/LSEENDTestModel.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;
using testing::LSEENDTestModel;
using testing::smallLSEENDMetadata;
using testsupport::errorText;

std::vector<float> ones(std::size_t count) { return std::vector<float>(count, 1.0f); }

TEST(LSEENDMetadataTest, DerivedSizes) {
    const LSEENDMetadata metadata{.chunkSize = 8, .contextSize = 7, .subsampling = 10};
    EXPECT_EQ(metadata.melFrames(), 85);
    for (const auto& [window, fft] :
         std::vector<std::pair<int, int>>{{400, 512}, {512, 512}, {513, 1024}, {1, 1}, {0, 0}}) {
        EXPECT_EQ(LSEENDMetadata{.winLength = window}.nFFT(), fft) << window;
    }
    EXPECT_EQ((LSEENDMetadata{.nUnits = 256, .nHeads = 4}.headDim()), 64);
}

TEST(LSEENDMetadataTest, SnakeAndCamelKeysDecodeAndEveryKeyIsRequired) {
    const auto metadata = smallLSEENDMetadata();
    EXPECT_EQ(LSEENDMetadata::decode(testing::snakeCaseConfig(metadata)), metadata);
    EXPECT_EQ(LSEENDMetadata::decode(nlohmann::json::parse(metadata.encode().dump())), metadata);
    const auto encoded = metadata.encode();
    EXPECT_EQ(encoded.begin().key(), "chunkSize");
    EXPECT_EQ(std::next(encoded.begin()).key(), "frameDurationSeconds");
    EXPECT_EQ(encoded.size(), 16u);

    const auto config = testing::snakeCaseConfig(metadata);
    for (const auto& [key, value] : config.items()) {
        auto missing = config;
        missing.erase(key);
        EXPECT_THROW(LSEENDMetadata::decode(missing), nlohmann::json::exception) << key;
    }
    auto fraction = config;
    fraction["chunk_size"] = 4.5;
    EXPECT_THROW(LSEENDMetadata::decode(fraction), nlohmann::json::exception);
}

TEST(LSEENDMetadataTest, SnakeCaseKeysBecomeFieldNames) {
    const std::pair<std::string, std::string> cases[] = {
        {"enc_n_layers", "encNLayers"},
        {"chunkSize", "chunkSize"},
        {"_conv_delay_", "_convDelay_"},
        {"MAX_SPEAKERS", "maxSpeakers"},
        {"a__b", "aB"},
        {"__", "__"},
    };
    for (const auto& [key, field] : cases) {
        EXPECT_EQ(camelCaseKey(key), field) << key;
    }
}

TEST(LSEENDStateTest, MetadataWithoutHeadsOrWithANegativeSizeIsRefused) {
    auto noHeads = smallLSEENDMetadata();
    noHeads.nHeads = 0;
    auto negative = smallLSEENDMetadata();
    negative.convDelay = -1;
    for (const auto& [metadata, text] :
         std::vector<std::pair<LSEENDMetadata, std::string>>{{noHeads, "Model metadata needs a positive nHeads"},
                                                             {negative, "Model metadata has a negative convDelay"}}) {
        try {
            LSEENDState state(metadata);
            ADD_FAILURE() << "no error for " << text;
        } catch (const LSEENDError& error) {
            EXPECT_EQ(error.kind(), LSEENDError::Kind::initializationFailed);
            EXPECT_EQ(error.what(), text);
        }
        EXPECT_THROW(LSEENDInput input(metadata), LSEENDError);
    }
}

TEST(LSEENDStateTest, ShapesCopiesAndResets) {
    const auto metadata = smallLSEENDMetadata();
    LSEENDState state(metadata);
    const std::vector<MultiArray::Shape> shapes{{2, 1, 2, 2, 2}, {2, 1},          {2, 1, 3, 4},
                                                {1, 4, 6},       {1, 3, 2, 2, 2}, {1, 1}};
    for (std::size_t index = 0; index < shapes.size(); ++index) {
        EXPECT_EQ(state.arrays()[index]->shape(), shapes[index]);
        EXPECT_EQ(state.arrays()[index]->strides().back(), 1u);
    }
    state.cnnWindow()->setValue(5, 7);
    auto copy = state.copy();
    EXPECT_NE(copy.cnnWindow(), state.cnnWindow());
    EXPECT_EQ(copy.cnnWindow()->value(5), 7);
    state.reset();
    EXPECT_EQ(state.cnnWindow()->value(5), 0);
    EXPECT_EQ(copy.cnnWindow()->value(5), 7);
    copy.copy(state);
    EXPECT_EQ(state.cnnWindow()->value(5), 7);
}

TEST(LSEENDInputTest, LoadsInputsCountsWarmupAndChecksSizes) {
    const auto metadata = LSEENDMetadata{
        .chunkSize = 4, .maxSpeakers = 2, .hopLength = 1, .nMels = 2, .subsampling = 1, .nUnits = 2, .nHeads = 1};
    LSEENDInput input(metadata);
    input.loadInputs(ones(8), std::vector<float>{0, -0.0f, 1, 1});
    EXPECT_EQ(input.warmupFrames(), 2);
    input.loadInputs(ones(8), std::vector<float>{0, 0, 1, 1}, 1);
    EXPECT_EQ(input.warmupFrames(), 1);

    EXPECT_EQ(errorText([&] { input.loadInputs(ones(8), ones(3)); }), "Input size mismatch: new=3 expected=4");
    try {
        input.loadInputs(ones(7), std::vector<float>{1, 1, 1, 0});
        ADD_FAILURE();
    } catch (const LSEENDError& error) {
        EXPECT_EQ(error.kind(), LSEENDError::Kind::invalidInputSize);
        EXPECT_EQ(error.what(), std::string("Input size mismatch: new=7 expected=8"));
    }
    EXPECT_EQ(input.decoderMask()->value(3), 0) << "the mask is replaced before the mel frames are checked";
}

TEST(LSEENDInputTest, ProvidesTheInputsAndBacksEveryOutputWithTheArrayItReads) {
    LSEENDInput input(smallLSEENDMetadata());
    EXPECT_EQ(input.featureNames(), (std::set<std::string>{"features", "enc_kv", "enc_scale", "enc_conv_cache",
                                                           "cnn_window", "dec_kv", "dec_scale", "valid_mask"}));
    EXPECT_FALSE(input.featureValue("probs"));
    EXPECT_FALSE(input.featureValue("enc_kv_new"));
    EXPECT_EQ(input.featureValue("features")->multiArrayValue(), input.melFeatures());
    EXPECT_EQ(input.predictionOptions().outputBackings.at("probs"), input.outputProbs());
    EXPECT_EQ(input.predictionOptions().outputBackings.size(), 7u);

    input.setState(LSEENDState(smallLSEENDMetadata()));
    EXPECT_EQ(input.predictionOptions().outputBackings.at("dec_kv_new"), input.state().decRetKv());
    EXPECT_EQ(input.featureValue("dec_kv")->multiArrayValue(), input.state().decRetKv());
}

class LSEENDModelTest : public ::testing::Test {
protected:
    testsupport::TemporaryFolder folder;
    LSEENDTestModel model{"ls-eend-model"};
};

TEST_F(LSEENDModelTest, PredictionsCarryTheStateInPlaceAndDropWarmupFrames) {
    model.slotProbabilities = {0.25f, 0.75f};
    const auto loaded = model.load(folder.path());
    EXPECT_EQ(loaded->metadata(), smallLSEENDMetadata());
    LSEENDInput input(loaded->metadata());
    const auto kv = input.state().encRetKv();

    input.setWarmupFrames(1);
    EXPECT_EQ(loaded->predict(input), (std::vector<float>{0.25f, 0.75f, 0.25f, 0.75f, 0.25f, 0.75f}));
    input.setWarmupFrames(4);
    EXPECT_TRUE(loaded->predict(input).empty());

    EXPECT_EQ(input.state().encRetKv(), kv);
    for (const auto& array : input.state().arrays()) {
        EXPECT_EQ(testsupport::valuesOf(*array), std::vector<double>(array->count(), 2.0));
    }
    ASSERT_EQ(model.kernel.calls().size(), 2u);
    EXPECT_EQ(model.kernel.calls()[1].inputs.at("enc_kv").multiArrayValue()->value(0), 1.0);
}

TEST_F(LSEENDModelTest, AProbabilityLayoutWithoutUnitInnermostStrideIsRefused) {
    auto probs =
        std::make_shared<MultiArray>(std::shared_ptr<void>(new float[16](), std::default_delete<float[]>()), nullptr,
                                     MultiArray::Shape{1, 4, 2}, DataType::float32, MultiArray::Shape{16, 4, 2});
    try {
        LSEENDModel::validFrames(*probs, 0, 4, 2);
        ADD_FAILURE();
    } catch (const LSEENDError& error) {
        EXPECT_EQ(error.kind(), LSEENDError::Kind::inferenceFailed);
        EXPECT_EQ(error.what(),
                  std::string("Probs innermost stride must be 1. CoreML model produced strides: [16, 4, 2]."));
    }
}

TEST_F(LSEENDModelTest, BundlesLoadFromPackagesAndNeedTheirConfig) {
    EXPECT_EQ(LSEENDModel(model.write(folder.path(), "P.mlpackage"), platform::ml::ComputeUnits::all).metadata(),
              smallLSEENDMetadata());
    for (const auto& metadata : {nlohmann::json{{"author", "x"}}, nlohmann::json::object()}) {
        const auto bundle = model.write(folder.path(), "NoConfig.mlmodelc", metadata);
        try {
            LSEENDModel loaded(bundle, platform::ml::ComputeUnits::cpuOnly);
            ADD_FAILURE();
        } catch (const LSEENDError& error) {
            EXPECT_EQ(error.kind(), LSEENDError::Kind::initializationFailed);
            EXPECT_EQ(error.what(), std::string("No `config` found in model metadata"));
        }
    }
    const auto broken = model.write(folder.path(), "Broken.mlmodelc", {{"config", "{\"chunk_size\": 4}"}});
    EXPECT_THROW(LSEENDModel(broken, platform::ml::ComputeUnits::cpuOnly), nlohmann::json::exception);
}

class LSEENDHubTest : public testing::ModelHubTest {
protected:
    LSEENDModel::HubRequest request() const {
        return {.variant = ModelNames::LSEEND::Variant::ami,
                .stepSize = ModelNames::LSEEND::StepSize::step100ms,
                .cacheDirectory = folder / "cache"};
    }

    LSEENDTestModel model{"ls-eend-hub"};
};

TEST_F(LSEENDHubTest, AnEmptyCacheFetchesTheBundleOnceAndACachedOneLoadsWithoutTheHub) {
    const auto source = folder / "source";
    model.write(source / "100ms", "ls_eend_ami_100ms.mlmodelc");
    serveFolder(Repo::lseendAmi, source);

    const auto loaded = LSEENDModel::loadFromHuggingFace(request());
    EXPECT_EQ(loaded->metadata(), smallLSEENDMetadata());
    const auto path = folder / "cache/ls-eend/ami/optimized/ami/100ms/ls_eend_ami_100ms.mlmodelc";
    EXPECT_TRUE(std::filesystem::exists(path / "model.json"));
    EXPECT_THAT(testing::logLines(sink, "LS-EEND Model"),
                ::testing::ElementsAre("Models not found in cache at " + path.string() +
                                       "; downloading optimized/ami/100ms/ls_eend_ami_100ms.mlmodelc\u2026"));

    const auto requests = hub.requests().size();
    EXPECT_GT(requests, 0u);
    LSEENDModel::loadFromHuggingFace(request());
    EXPECT_EQ(hub.requests().size(), requests);
    EXPECT_EQ(model.kernel.loads().size(), 2u);
}

} // namespace
} // namespace quorl
