#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Precision = SortformerModelPrecision;
using Variant = SortformerVariant;

// The geometry every preset is published with, written out by hand.
struct PresetRow {
    std::string preset;
    const SortformerConfig& config;
    Variant modelVariant;
    int chunkLen;
    int chunkLeftContext;
    int chunkRightContext;
    int fifoLen;
    int spkcacheLen;
    int spkcacheUpdatePeriod;
    int chunkMelFrames;
    int coreFrames;
};

const std::vector<PresetRow>& presetRows() {
    static const std::vector<PresetRow> rows = {
        {"default", SortformerConfig::defaultConfig(), Variant::fastV2_1, 6, 1, 7, 40, 188, 31, 112, 48},
        {"fastV2", SortformerConfig::fastV2(), Variant::fastV2, 6, 1, 7, 40, 188, 31, 112, 48},
        {"fastV2_1", SortformerConfig::fastV2_1(), Variant::fastV2_1, 6, 1, 7, 40, 188, 31, 112, 48},
        {"balancedV2", SortformerConfig::balancedV2(), Variant::balancedV2, 6, 1, 7, 188, 188, 144, 112, 48},
        {"balancedV2_1", SortformerConfig::balancedV2_1(), Variant::balancedV2_1, 6, 1, 7, 188, 188, 144, 112, 48},
        {"highContextV2", SortformerConfig::highContextV2(), Variant::highContextV2, 340, 1, 40, 40, 188, 340, 3048,
         2720},
        {"highContextV2_1", SortformerConfig::highContextV2_1(), Variant::highContextV2_1, 340, 1, 40, 40, 188, 340,
         3048, 2720},
        {"efficientV2_1", SortformerConfig::efficientV2_1(), Variant::efficientV2_1, 25, 1, 7, 40, 188, 31, 264, 200},
    };
    return rows;
}

void expectSharedValues(const SortformerConfig& config) {
    EXPECT_EQ(config.precision, Precision::fp16);
    EXPECT_EQ(config.spkcacheSilFramesPerSpk, 3);
    EXPECT_FALSE(config.debugMode);
    EXPECT_FLOAT_EQ(config.silenceThreshold, 0.2F);
    EXPECT_FLOAT_EQ(config.predScoreThreshold, 0.25F);
    EXPECT_FLOAT_EQ(config.scoresBoostLatest, 0.05F);
    EXPECT_FLOAT_EQ(config.strongBoostRate, 0.75F);
    EXPECT_FLOAT_EQ(config.weakBoostRate, 1.5F);
    EXPECT_FLOAT_EQ(config.minPosScoresRate, 0.5F);
}

TEST(SortformerConfigTests, PresetsCarryThePublishedGeometry) {
    for (const auto& row : presetRows()) {
        SCOPED_TRACE(row.preset);
        const auto& config = row.config;
        EXPECT_EQ(config.modelVariant, row.modelVariant);
        EXPECT_EQ(config.chunkLen, row.chunkLen);
        EXPECT_EQ(config.chunkLeftContext, row.chunkLeftContext);
        EXPECT_EQ(config.chunkRightContext, row.chunkRightContext);
        EXPECT_EQ(config.fifoLen, row.fifoLen);
        EXPECT_EQ(config.spkcacheLen, row.spkcacheLen);
        EXPECT_EQ(config.spkcacheUpdatePeriod, row.spkcacheUpdatePeriod);
        EXPECT_EQ(config.chunkMelFrames(), row.chunkMelFrames);
        EXPECT_EQ(config.coreFrames(), row.coreFrames);
        expectSharedValues(config);
    }
}

TEST(SortformerConfigTests, PresetsAreBuiltOnceAndShared) {
    EXPECT_EQ(&SortformerConfig::fastV2(), &SortformerConfig::fastV2());
    EXPECT_EQ(&SortformerConfig::defaultConfig(), &SortformerConfig::defaultConfig());
}

TEST(SortformerConfigTests, ConstantsAndFrameDuration) {
    const SortformerConfig config(std::nullopt, Precision::palettized);
    EXPECT_EQ(config.numSpeakers, 4);
    EXPECT_EQ(config.preEncoderDims, 512);
    EXPECT_EQ(config.subsamplingFactor, 8);
    EXPECT_EQ(config.sampleRate, 16000);
    EXPECT_EQ(config.melWindow, 400);
    EXPECT_EQ(config.melStride, 160);
    EXPECT_EQ(config.melFeatures, 128);
    EXPECT_EQ(config.maxIndex, 99999);
    EXPECT_EQ(config.frameDurationSeconds(), 1280.0F / 16000.0F);
}

TEST(SortformerConfigTests, DeclaredDefaultsAreThoseOfTheDefaultPreset) {
    const SortformerConfig config(std::nullopt, Precision::palettized);
    EXPECT_EQ(config.modelVariant, std::nullopt);
    EXPECT_EQ(config.precision, Precision::palettized);
    const auto& preset = SortformerConfig::defaultConfig();
    EXPECT_EQ(config.chunkLen, preset.chunkLen);
    EXPECT_EQ(config.chunkLeftContext, preset.chunkLeftContext);
    EXPECT_EQ(config.chunkRightContext, preset.chunkRightContext);
    EXPECT_EQ(config.fifoLen, preset.fifoLen);
    EXPECT_EQ(config.spkcacheLen, preset.spkcacheLen);
    EXPECT_EQ(config.spkcacheUpdatePeriod, preset.spkcacheUpdatePeriod);
    EXPECT_EQ(config.spkcacheSilFramesPerSpk, 3);
    EXPECT_FALSE(config.debugMode);
}

TEST(SortformerConfigTests, ArgumentsAreStoredInTheirOrder) {
    const SortformerConfig config(Variant::balancedV2, Precision::palettized, 10, 2, 3, 50, 200, 20, 0.3F, 4, 0.35F,
                                  0.06F, 0.7F, 1.4F, 0.45F, true);
    EXPECT_EQ(config.modelVariant, Variant::balancedV2);
    EXPECT_EQ(config.chunkLen, 10);
    EXPECT_EQ(config.chunkLeftContext, 2);
    EXPECT_EQ(config.chunkRightContext, 3);
    EXPECT_EQ(config.fifoLen, 50);
    EXPECT_EQ(config.spkcacheLen, 200);
    EXPECT_EQ(config.spkcacheUpdatePeriod, 20);
    EXPECT_FLOAT_EQ(config.silenceThreshold, 0.3F);
    EXPECT_EQ(config.spkcacheSilFramesPerSpk, 4);
    EXPECT_FLOAT_EQ(config.predScoreThreshold, 0.35F);
    EXPECT_FLOAT_EQ(config.scoresBoostLatest, 0.06F);
    EXPECT_FLOAT_EQ(config.strongBoostRate, 0.7F);
    EXPECT_FLOAT_EQ(config.weakBoostRate, 1.4F);
    EXPECT_FLOAT_EQ(config.minPosScoresRate, 0.45F);
    EXPECT_TRUE(config.debugMode);
}

TEST(SortformerConfigTests, InitialiserClampsChunkCacheAndUpdatePeriod) {
    struct Case {
        const char* label;
        int chunkLen;
        int fifoLen;
        int spkcacheLen;
        int spkcacheUpdatePeriod;
        int spkcacheSilFramesPerSpk;
        int storedChunkLen;
        int storedSpkcacheLen;
        int storedUpdatePeriod;
    };
    const Case cases[] = {
        {"empty chunk holds one frame", 0, 40, 188, 31, 3, 1, 188, 31},
        {"negative chunk holds one frame", -5, 40, 188, 31, 3, 1, 188, 31},
        {"cache keeps a non-silence slot per speaker", 6, 40, 10, 31, 3, 6, 16, 31},
        {"cache floor follows the silence slots", 6, 40, 10, 31, 5, 6, 24, 31},
        {"cache at its floor is kept", 6, 40, 16, 31, 3, 6, 16, 31},
        {"update period at most FIFO plus chunk", 6, 40, 188, 100, 3, 6, 188, 46},
        {"update period at least a chunk", 6, 40, 188, 2, 3, 6, 188, 6},
        {"update period floor uses the clamped chunk", 0, 40, 188, 0, 3, 1, 188, 1},
        {"update period ceiling uses the clamped chunk", 0, 10, 188, 100, 3, 1, 188, 11},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.label);
        const SortformerConfig config(std::nullopt, Precision::fp16, testCase.chunkLen, 1, 7, testCase.fifoLen,
                                      testCase.spkcacheLen, testCase.spkcacheUpdatePeriod, 0.2F,
                                      testCase.spkcacheSilFramesPerSpk);
        EXPECT_EQ(config.chunkLen, testCase.storedChunkLen);
        EXPECT_EQ(config.spkcacheLen, testCase.storedSpkcacheLen);
        EXPECT_EQ(config.spkcacheUpdatePeriod, testCase.storedUpdatePeriod);
    }
}

TEST(SortformerConfigTests, LaterAssignmentsAreNotClamped) {
    SortformerConfig config(std::nullopt, Precision::fp16);
    config.chunkLen = 0;
    config.spkcacheLen = 2;
    EXPECT_EQ(config.chunkLen, 0);
    EXPECT_EQ(config.spkcacheLen, 2);
    EXPECT_EQ(config.chunkMelFrames(), 64);
}

TEST(SortformerConfigTests, CompatibilityComparesInputShapesOnly) {
    const auto& fast = SortformerConfig::fastV2_1();
    EXPECT_TRUE(SortformerConfig::defaultConfig().isCompatible(SortformerConfig::fastV2()));
    EXPECT_FALSE(fast.isCompatible(SortformerConfig::balancedV2_1()));
    EXPECT_FALSE(fast.isCompatible(SortformerConfig::efficientV2_1()));

    const SortformerConfig sameWindow(std::nullopt, Precision::palettized, 5, 2, 7, 40, 188, 10, 0.9F, 3, 0.1F, 0.2F,
                                      0.3F, 0.4F, 0.6F, true);
    EXPECT_TRUE(fast.isCompatible(sameWindow));
    EXPECT_TRUE(sameWindow.isCompatible(fast));

    const SortformerConfig otherCache(Variant::fastV2_1, Precision::fp16, 6, 1, 7, 40, 189);
    EXPECT_FALSE(fast.isCompatible(otherCache));
}

} // namespace
} // namespace quorl
