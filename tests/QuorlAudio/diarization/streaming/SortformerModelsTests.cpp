#include "QuorlAudio/diarization/streaming/SortformerModels.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"
#include "tests/QuorlAudio/diarization/streaming/SortformerTestModel.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace quorl {
namespace {

using platform::ml::ComputeUnits;
using platform::ml::MultiArray;
using testing::SortformerTestModel;
using testing::SortformerTestOutputs;

bool allZero(const MultiArray& array) {
    for (std::size_t index = 0; index < array.count(); ++index) {
        if (array.value(index) != 0) {
            return false;
        }
    }
    return true;
}

std::string failureDetail(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const SortformerError& error) {
        return error.detail();
    }
    return "no error";
}

class SortformerModelsTest : public ::testing::Test {
protected:
    SortformerModels load(const nlohmann::json& creatorDefined = nullptr) {
        return model.load(folder.path(), creatorDefined);
    }

    SortformerModels::MainModelOutput step(const SortformerModels& models, std::vector<float> chunk, int length) {
        return models.runMainModel(chunk, length, {}, 0, {}, 0);
    }

    testsupport::TemporaryFolder folder;
    SortformerTestModel model;
};

TEST_F(SortformerModelsTest, TheInputArraysHaveTheDefaultShapesAndStartAtZero) {
    const auto models = load();
    const std::vector<std::pair<std::shared_ptr<MultiArray>, MultiArray::Shape>> expected{
        {models.chunkArray(), {1, 112, 128}},    {models.fifoArray(), {1, 40, 512}},
        {models.spkcacheArray(), {1, 188, 512}}, {models.chunkLengthArray(), {1}},
        {models.fifoLengthArray(), {1}},         {models.spkcacheLengthArray(), {1}}};
    for (const auto& [array, shape] : expected) {
        EXPECT_EQ(array->shape(), shape);
        EXPECT_TRUE(allZero(*array));
    }
}

TEST_F(SortformerModelsTest, AStepPadsShortInputsWithZerosCutsLongOnesAndLeavesNothingBehind) {
    const auto models = load();
    models.runMainModel(std::vector<float>(200 * 128, 1.0f), 112, std::vector<float>(10, 2.0f), 3,
                        std::vector<float>(50 * 512, 3.0f), 40);
    const auto calls = model.kernel.calls();
    const auto& first = calls.at(0).inputs;
    EXPECT_EQ(first.at("chunk").multiArrayValue()->value(112 * 128 - 1), 1.0);
    EXPECT_EQ(first.at("spkcache").multiArrayValue()->value(9), 2.0);
    EXPECT_EQ(first.at("spkcache").multiArrayValue()->value(10), 0.0);
    EXPECT_EQ(first.at("spkcache_lengths").multiArrayValue()->value(0), 3.0);
    EXPECT_EQ(first.at("fifo").multiArrayValue()->value(40 * 512 - 1), 3.0);

    step(models, std::vector<float>(5 * 128, 4.0f), 5);
    const auto later = model.kernel.calls();
    const auto& second = later.at(1).inputs;
    EXPECT_EQ(second.at("chunk").multiArrayValue()->value(5 * 128 - 1), 4.0);
    EXPECT_EQ(second.at("chunk").multiArrayValue()->value(5 * 128), 0.0);
    EXPECT_EQ(second.at("chunk_lengths").multiArrayValue()->value(0), 5.0);
    EXPECT_TRUE(allZero(*second.at("fifo").multiArrayValue()));
    EXPECT_TRUE(allZero(*second.at("spkcache").multiArrayValue()));
}

TEST_F(SortformerModelsTest, OutputsAreReadUnderEitherNameInOrder) {
    struct Case {
        SortformerTestOutputs outputs;
        std::string failure;
    };
    const std::vector<Case> cases{
        {{.predictionsOut = false,
          .predictions = true,
          .lengthsOut = false,
          .lengths = true,
          .embeddingsOut = false,
          .embeddings = true},
         ""},
        {{.halfPrecisionEmbeddings = true}, ""},
        {{.predictionsOut = false, .lengthsOut = false, .embeddingsOut = false},
         "Missing speaker_preds or speaker_preds_out"},
        {{.lengthsOut = false, .emptyLengthsOut = true},
         "Missing chunk_pre_encoder_lengths or chunk_pre_encoder_lengths_out"},
        {{.embeddingsOut = false}, "Missing chunk_pre_encoder_embs_out"},
    };
    int index = 0;
    for (const auto& [outputs, failure] : cases) {
        testsupport::TemporaryFolder scratch;
        SortformerTestModel variant("sortformer-outputs-" + std::to_string(index++), outputs);
        const auto models = variant.load(scratch.path());
        if (failure.empty()) {
            const auto output = step(models, std::vector<float>(104 * 128, -16.0f), 104);
            EXPECT_EQ(output.chunkLength, 13);
            EXPECT_EQ(output.predictions.size(), 13u * 4);
            EXPECT_EQ(output.chunkEmbeddings.size(), 13u * 512);
            EXPECT_NEAR(output.chunkEmbeddings[0],
                        SortformerTestModel::loudness(std::vector<float>(8 * 128, -16.0f).data(), 8), 1e-3);
        } else {
            EXPECT_EQ(failureDetail([&] { step(models, std::vector<float>(104 * 128), 104); }), failure);
        }
    }
}

TEST_F(SortformerModelsTest, TheEmbeddedGeometryNeedsEveryKeyAsAPlainInteger) {
    const nlohmann::json geometry{{"chunk_len", "+6"},
                                  {"chunk_left_context", "1"},
                                  {"chunk_right_context", "7"},
                                  {"fifo_len", "40"},
                                  {"spkcache_len", "188"}};
    const auto parsed = load(geometry).embeddedConfig();
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, (SortformerModels::EmbeddedConfig{6, 1, 7, 40, 188}));

    auto trailingSpace = geometry;
    trailingSpace["fifo_len"] = "40 ";
    auto missing = geometry;
    missing.erase("spkcache_len");
    for (const auto& metadata : {trailingSpace, missing, nlohmann::json()}) {
        testsupport::TemporaryFolder scratch;
        EXPECT_EQ(model.load(scratch.path(), metadata).embeddedConfig(), std::nullopt) << metadata.dump();
    }
}

TEST(SortformerComputeUnitsTest, OnlyLargeHalfPrecisionModelsOnSmallMachinesRunOnTheCpu) {
    constexpr std::uint64_t gib = 1ULL << 30;
    const auto config = [](SortformerVariant variant, SortformerModelPrecision precision) {
        SortformerConfig result = defaultConfiguration(variant);
        result.precision = precision;
        return result;
    };
    struct Case {
        SortformerVariant variant;
        SortformerModelPrecision precision;
        std::uint64_t memory;
        ComputeUnits expected;
    };
    const std::vector<Case> cases{
        {SortformerVariant::highContextV2_1, SortformerModelPrecision::fp16, gib * 79 / 10, ComputeUnits::cpuOnly},
        {SortformerVariant::highContextV2, SortformerModelPrecision::fp16, gib * 4, ComputeUnits::cpuOnly},
        {SortformerVariant::highContextV2_1, SortformerModelPrecision::fp16, gib * 8, ComputeUnits::all},
        {SortformerVariant::highContextV2, SortformerModelPrecision::palettized, gib * 4, ComputeUnits::all},
        {SortformerVariant::fastV2_1, SortformerModelPrecision::fp16, gib * 4, ComputeUnits::all},
    };
    testsupport::RecordingLogSink sink;
    for (const auto& [variant, precision, memory, expected] : cases) {
        EXPECT_EQ(SortformerModels::recommendedComputeUnits(config(variant, precision), memory), expected)
            << caseName(variant);
    }
    const auto warnings = sink.messages("SortformerModels");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "Loading large fp16 highContextV2_1 head on a 7.9GB device with .cpuOnly to avoid the "
                           "multi-minute ANE compile hang. Use SortformerConfig.precision = .palettized for an "
                           "ANE-friendly ~330MB build, or pass computeUnits explicitly to override.");
}

TEST_F(SortformerModelsTest, ALocalPackageIsCompiledAndLoadedWithTheChosenUnits) {
    testsupport::RecordingLogSink sink;
    const auto models = SortformerModels::load(SortformerConfig::defaultConfig(), model.writePackage(folder.path()),
                                               ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(model.kernel.loads().at(0).configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    const auto lines = sink.messages("SortformerModels");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Loading Sortformer models from local paths (combined pipeline mode)");
    EXPECT_EQ(lines[2], "Loaded main Sortformer model (computeUnits=3)");
    EXPECT_TRUE(lines[3].starts_with("Models loaded in "));
    EXPECT_GE(models.compilationDuration(), 0.0);
}

class SortformerHubTest : public testing::ModelHubTest {};

TEST_F(SortformerHubTest, TheConfigurationsBundleIsFetchedAndAConfigurationWithoutVariantNeverFetches) {
    SortformerTestModel model("sortformer-hub");
    putBundle(Repo::sortformer, "v3/fp16/Sortformer_v2.1.mlmodelc", model.kernel.name());
    const auto models = SortformerModels::loadFromHuggingFace(SortformerConfig::defaultConfig(), folder / "models");
    EXPECT_EQ(model.kernel.loads().size(), 1u);
    EXPECT_EQ(models.chunkArray()->shape(), (MultiArray::Shape{1, 112, 128}));

    const auto requests = hub.requests().size();
    const SortformerConfig handMade(std::nullopt, SortformerModelPrecision::fp16);
    EXPECT_EQ(failureDetail([&] { SortformerModels::loadFromHuggingFace(handMade, folder / "other"); }),
              "Unsupported Sortformer configuration");
    EXPECT_EQ(hub.requests().size(), requests);
}

} // namespace
} // namespace quorl
