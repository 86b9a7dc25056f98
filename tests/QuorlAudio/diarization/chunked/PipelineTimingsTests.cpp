#include "QuorlAudio/diarization/chunked/PipelineTimings.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <limits>
#include <stdexcept>

namespace quorl {
namespace {

TEST(PipelineTimingsTests, TotalsPercentagesAndBottleneckFollowFromTheStages) {
    const PipelineTimings timings({
        .modelCompilationSeconds = 1,
        .segmentationSeconds = 2,
        .embeddingExtractionSeconds = 3,
        .speakerClusteringSeconds = 4,
    });
    EXPECT_EQ(timings.totalInferenceSeconds(), 9);
    EXPECT_EQ(timings.totalProcessingSeconds(), 10);
    const auto percentages = timings.stagePercentages();
    EXPECT_EQ(percentages.size(), 6u);
    EXPECT_DOUBLE_EQ(percentages.at("Speaker Clustering"), 40);
    EXPECT_DOUBLE_EQ(percentages.at("Model Compilation"), 10);
    EXPECT_EQ(percentages.at("Audio Loading"), 0);
    EXPECT_EQ(timings.bottleneckStage(), "Speaker Clustering");
}

TEST(PipelineTimingsTests, BottleneckTiesGoToTheEarlierStage) {
    const struct {
        PipelineTimings::Stages stages;
        const char* bottleneck;
    } cases[] = {
        {{}, "Model Compilation"},
        {{.audioLoadingSeconds = 2, .postProcessingSeconds = 2}, "Audio Loading"},
        {{.segmentationSeconds = 1, .embeddingExtractionSeconds = 3, .speakerClusteringSeconds = 3},
         "Embedding Extraction"},
        {{.modelCompilationSeconds = 1, .postProcessingSeconds = 1.5}, "Post Processing"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PipelineTimings(c.stages).bottleneckStage(), c.bottleneck);
    }
}

TEST(PipelineTimingsTests, NoPercentagesWithoutAPositiveTotal) {
    EXPECT_TRUE(PipelineTimings(PipelineTimings::Stages{}).stagePercentages().empty());
    EXPECT_TRUE(PipelineTimings({.audioLoadingSeconds = -1}).stagePercentages().empty());
    EXPECT_TRUE(
        PipelineTimings({.segmentationSeconds = std::numeric_limits<double>::quiet_NaN()}).stagePercentages().empty());
}

nlohmann::json timingsJson() {
    return {
        {"modelCompilationSeconds", 1.0},  {"audioLoadingSeconds", 0.5},       {"segmentationSeconds", 2.0},
        {"embeddingExtractionSeconds", 3}, {"speakerClusteringSeconds", 4.0},  {"postProcessingSeconds", 0.0},
        {"totalInferenceSeconds", 100.0},  {"totalProcessingSeconds", 200.25},
    };
}

TEST(PipelineTimingsTests, DecodedTotalsAreKeptAndWrittenBackUnchanged) {
    const auto timings = timingsJson().get<PipelineTimings>();
    EXPECT_EQ(timings.embeddingExtractionSeconds(), 3);
    EXPECT_EQ(timings.totalInferenceSeconds(), 100);
    EXPECT_EQ(timings.totalProcessingSeconds(), 200.25);
    EXPECT_EQ(nlohmann::json(timings), timingsJson());
}

TEST(PipelineTimingsTests, EncodingWritesEveryMember) {
    const nlohmann::json json = PipelineTimings({.modelCompilationSeconds = 1, .postProcessingSeconds = 0.25});
    EXPECT_EQ(json.size(), 8u);
    EXPECT_EQ(json.at("totalProcessingSeconds"), 1.25);
    EXPECT_EQ(json.at("totalInferenceSeconds"), 0.0);
}

TEST(PipelineTimingsTests, DecodingRequiresEveryMemberAsANumberAndIgnoresOthers) {
    nlohmann::json extra = timingsJson();
    extra["comment"] = "ignored";
    EXPECT_EQ(nlohmann::json(extra.get<PipelineTimings>()), timingsJson());

    const nlohmann::json valid = timingsJson();
    for (const auto& [key, value] : valid.items()) {
        nlohmann::json missing = timingsJson();
        missing.erase(key);
        EXPECT_THROW(missing.get<PipelineTimings>(), nlohmann::json::out_of_range) << key;
        for (const nlohmann::json& wrong : {nlohmann::json("1"), nlohmann::json(true), nlohmann::json(nullptr)}) {
            nlohmann::json mistyped = timingsJson();
            mistyped[key] = wrong;
            EXPECT_THROW(mistyped.get<PipelineTimings>(), nlohmann::json::type_error) << key << " " << wrong;
        }
    }
}

TEST(PipelineTimingsTests, ANonFiniteStageCannotBeEncoded) {
    const PipelineTimings timings({.segmentationSeconds = std::numeric_limits<double>::infinity()});
    EXPECT_THROW((void)nlohmann::json(timings), std::domain_error);
}

} // namespace
} // namespace quorl
