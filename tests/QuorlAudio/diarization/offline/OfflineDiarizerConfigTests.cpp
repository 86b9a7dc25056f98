#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Kind = OfflineDiarizationError::Kind;

struct Refusal {
    Kind kind;
    std::string description;
};

// What validate() throws, or nothing.
std::optional<Refusal> refusalOf(const OfflineDiarizerConfig& config) {
    try {
        config.validate();
    } catch (const OfflineDiarizationError& error) {
        return Refusal{error.kind(), error.what()};
    }
    return std::nullopt;
}

struct Case {
    const char* name;
    std::function<void(OfflineDiarizerConfig&)> change;
    // Empty when the configuration passes.
    std::string description;
    Kind kind = Kind::invalidConfiguration;
};

const double nan = std::numeric_limits<double>::quiet_NaN();

TEST(OfflineDiarizerConfig, TheDefaultsAreTheCommunityPresets) {
    const auto config = OfflineDiarizerConfig::defaultConfig();

    EXPECT_EQ(refusalOf(config).has_value(), false);
    EXPECT_EQ(config.samplesPerWindow(), 160000);
    EXPECT_EQ(config.samplesPerStep(), 32000);
    EXPECT_EQ(config.segmentation.windowDurationSeconds, 10.0);
    EXPECT_EQ(config.embedding.batchSize, 32);
    EXPECT_EQ(config.embedding.skipStrategy, OfflineDiarizerConfig::EmbeddingSkipStrategy::none());
    EXPECT_EQ(config.clustering.warmStartFb, 0.8);
    EXPECT_EQ(config.vbx.convergenceTolerance, 0.0001);
    EXPECT_EQ(config.postProcessing.minGapDurationSeconds, 0.1);
    EXPECT_EQ(config.zeroVoteReembed.minDurationSeconds, 0.4);
    EXPECT_FALSE(config.zeroVoteReembed.enabled);
    EXPECT_FALSE(config.exportSettings.embeddingsPath);
    EXPECT_FALSE(config.exposeChunkEmbeddings);
}

TEST(OfflineDiarizerConfig, EachCheckRefusesWithItsOwnText) {
    const std::vector<Case> cases{
        {"threshold at sqrt(2)", [](auto& c) { c.clustering.threshold = std::sqrt(2.0); }, ""},
        {"threshold 0", [](auto& c) { c.clustering.threshold = 0; },
         "Invalid configuration: clustering.threshold must be within (0, sqrt(2)], got 0.0"},
        {"threshold NaN", [](auto& c) { c.clustering.threshold = nan; },
         "Invalid configuration: clustering.threshold must be within (0, sqrt(2)], got nan"},
        {"Fb 0", [](auto& c) { c.clustering.warmStartFb = 0; },
         "Invalid configuration: clustering warm-start Fa/Fb must be positive (Fa=0.07, Fb=0.0)"},
        {"window 0", [](auto& c) { c.segmentation.windowDurationSeconds = 0; },
         "Invalid configuration: segmentation.windowDurationSeconds must be positive, got 0.0"},
        {"sample rate 0", [](auto& c) { c.segmentation.sampleRate = 0; },
         "Invalid configuration: sampleRate must be positive"},
        {"step ratio 1", [](auto& c) { c.segmentation.stepRatio = 1.0; }, ""},
        {"step ratio above 1", [](auto& c) { c.segmentation.stepRatio = 1.0000001; },
         "Invalid configuration: segmentation.stepRatio must be within (0, 1], got 1.0000001"},
        {"window under one sample", [](auto& c) { c.segmentation.windowDurationSeconds = 0.00005; },
         "Invalid configuration: segmentation window must hold from 1 to 9223372036854775807 samples, got 0.8"},
        {"window past an Int", [](auto& c) { c.segmentation.windowDurationSeconds = 1e300; },
         "Invalid configuration: segmentation window must hold from 1 to 9223372036854775807 samples, got 1.6e+304"},
        {"batch 0", [](auto& c) { c.embedding.batchSize = 0; }, "Invalid batch size: embeddingBatchSize must be > 0",
         Kind::invalidBatchSize},
        {"batch 32", [](auto& c) { c.embedding.batchSize = 32; }, ""},
        {"batch 33", [](auto& c) { c.embedding.batchSize = 33; },
         "Invalid batch size: embeddingBatchSize must be <= 32 to fit PLDA batch limits", Kind::invalidBatchSize},
        {"no iterations", [](auto& c) { c.vbx.maxIterations = 0; },
         "Invalid configuration: maxVBxIterations must be > 0, got 0"},
        {"tolerance 0", [](auto& c) { c.vbx.convergenceTolerance = 0; },
         "Invalid configuration: convergenceTolerance must be positive"},
        {"negative segment", [](auto& c) { c.embedding.minSegmentDurationSeconds = -1; },
         "Invalid configuration: embedding.minSegmentDuration must be >= 0"},
        {"negative gap", [](auto& c) { c.postProcessing.minGapDurationSeconds = -0.1; },
         "Invalid configuration: minGapDuration must be >= 0"},
        {"negative re-embedding run", [](auto& c) { c.zeroVoteReembed.minDurationSeconds = -0.5; },
         "Invalid configuration: zeroVoteReembed.minDurationSeconds must be >= 0, got -0.5"},
        {"negative minimum on", [](auto& c) { c.segmentation.minDurationOn = -1; },
         "Invalid configuration: segmentation.minDurationOn must be >= 0"},
        {"negative minimum off", [](auto& c) { c.segmentation.minDurationOff = -1; },
         "Invalid configuration: segmentation.minDurationOff must be >= 0"},
        {"onset above 1", [](auto& c) { c.segmentation.speechOnsetThreshold = 1.1f; },
         "Invalid configuration: speechOnsetThreshold must be within [0, 1], got 1.1"},
        {"offset equal to onset", [](auto& c) { c.segmentation.speechOffsetThreshold = 0.5f; }, ""},
        {"offset above onset", [](auto& c) { c.segmentation.speechOffsetThreshold = 0.6f; },
         "Invalid configuration: speechOffsetThreshold must be within [0, speechOnsetThreshold], got 0.6"},
        // Only the first fault in the order of the checks is reported.
        {"batch and gap",
         [](auto& c) {
             c.embedding.batchSize = 0;
             c.postProcessing.minGapDurationSeconds = -1;
         },
         "Invalid batch size: embeddingBatchSize must be > 0", Kind::invalidBatchSize},
        {"threshold and offset",
         [](auto& c) {
             c.segmentation.speechOffsetThreshold = 0.9f;
             c.clustering.threshold = 2;
         },
         "Invalid configuration: clustering.threshold must be within (0, sqrt(2)], got 2.0"},
    };
    for (const auto& testCase : cases) {
        auto config = OfflineDiarizerConfig::defaultConfig();
        testCase.change(config);
        const auto refusal = refusalOf(config);
        if (testCase.description.empty()) {
            EXPECT_FALSE(refusal) << testCase.name << ": " << refusal->description;
            continue;
        }
        ASSERT_TRUE(refusal) << testCase.name;
        EXPECT_EQ(refusal->description, testCase.description) << testCase.name;
        EXPECT_EQ(refusal->kind, testCase.kind) << testCase.name;
    }
}

TEST(OfflineDiarizerConfig, TheStepIsNeverZero) {
    auto config = OfflineDiarizerConfig::defaultConfig();
    config.segmentation.windowDurationSeconds = 0.5;
    config.segmentation.stepRatio = 0.00001;

    EXPECT_EQ(config.samplesPerWindow(), 8000);
    EXPECT_EQ(config.samplesPerStep(), 1);
    // Even for a configuration validate() refuses.
    config.segmentation.windowDurationSeconds = nan;
    EXPECT_EQ(config.samplesPerWindow(), 0);
    EXPECT_EQ(config.samplesPerStep(), 1);
}

TEST(OfflineDiarizerConfig, FlatAccessorsReachTheirSections) {
    auto config = OfflineDiarizerConfig::defaultConfig();
    config.setClusteringThreshold(0.7);
    config.setFa(0.2);
    config.setFb(0.9);
    config.setWindowDuration(5);
    config.setSampleRate(8000);
    config.setSegmentationStepRatio(0.5);
    config.setEmbeddingBatchSize(8);
    config.setEmbeddingExcludeOverlap(false);
    config.setEmbeddingSkipStrategy(OfflineDiarizerConfig::EmbeddingSkipStrategy::maskSimilarity(0.9f));
    config.setMinSegmentDuration(2);
    config.setMinGapDuration(0.3);
    config.setExclusiveSegments(false);
    config.setSpeechOnsetThreshold(0.6f);
    config.setSpeechOffsetThreshold(0.4f);
    config.setSegmentationMinDurationOn(0.1);
    config.setSegmentationMinDurationOff(0.2);
    config.setMaxVBxIterations(5);
    config.setConvergenceTolerance(0.01);
    config.setEmbeddingExportPath("/tmp/export.json");

    const OfflineDiarizerConfig expected{
        .segmentation = {.windowDurationSeconds = 5,
                         .sampleRate = 8000,
                         .minDurationOn = 0.1,
                         .minDurationOff = 0.2,
                         .stepRatio = 0.5,
                         .speechOnsetThreshold = 0.6f,
                         .speechOffsetThreshold = 0.4f},
        .embedding = {.batchSize = 8,
                      .excludeOverlap = false,
                      .minSegmentDurationSeconds = 2,
                      .skipStrategy = OfflineDiarizerConfig::EmbeddingSkipStrategy::maskSimilarity(0.9f)},
        .clustering = {.threshold = 0.7, .warmStartFa = 0.2, .warmStartFb = 0.9},
        .vbx = {.maxIterations = 5, .convergenceTolerance = 0.01},
        .postProcessing = {.minGapDurationSeconds = 0.3, .exclusiveSegments = false},
        .exportSettings = {.embeddingsPath = "/tmp/export.json"},
    };
    EXPECT_EQ(config, expected);
    const auto flat =
        OfflineDiarizerConfig::fromFlat({.clusteringThreshold = config.clusteringThreshold(),
                                         .Fa = config.Fa(),
                                         .Fb = config.Fb(),
                                         .windowDuration = config.windowDuration(),
                                         .sampleRate = config.sampleRate(),
                                         .segmentationStepRatio = config.segmentationStepRatio(),
                                         .embeddingBatchSize = config.embeddingBatchSize(),
                                         .embeddingExcludeOverlap = config.embeddingExcludeOverlap(),
                                         .embeddingSkipStrategy = config.embeddingSkipStrategy(),
                                         .minSegmentDuration = config.minSegmentDuration(),
                                         .minGapDuration = config.minGapDuration(),
                                         .exclusiveSegments = config.exclusiveSegments(),
                                         .speechOnsetThreshold = config.speechOnsetThreshold(),
                                         .speechOffsetThreshold = config.speechOffsetThreshold(),
                                         .segmentationMinDurationOn = config.segmentationMinDurationOn(),
                                         .segmentationMinDurationOff = config.segmentationMinDurationOff(),
                                         .maxVBxIterations = config.maxVBxIterations(),
                                         .convergenceTolerance = config.convergenceTolerance(),
                                         .embeddingExportPath = config.embeddingExportPath()});
    EXPECT_EQ(flat, expected);
}

TEST(OfflineDiarizerConfig, SpeakerCountsReplaceEachOther) {
    const auto bounded = OfflineDiarizerConfig::defaultConfig().withSpeakers(2, 5);
    const auto exact = bounded.withSpeakers(3);

    EXPECT_EQ(exact.clustering.minSpeakers, std::nullopt);
    EXPECT_EQ(exact.clustering.maxSpeakers, std::nullopt);
    EXPECT_EQ(exact.clustering.numSpeakers, 3);
    const auto rebounded = exact.withSpeakers(2, std::nullopt);
    EXPECT_EQ(rebounded.clustering.minSpeakers, 2);
    EXPECT_EQ(rebounded.clustering.maxSpeakers, std::nullopt);
    EXPECT_EQ(rebounded.clustering.numSpeakers, std::nullopt);
    EXPECT_EQ(bounded.clustering.maxSpeakers, 5);
}

} // namespace
} // namespace quorl
