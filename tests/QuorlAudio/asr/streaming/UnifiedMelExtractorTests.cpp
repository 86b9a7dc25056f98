#include "QuorlAudio/asr/streaming/UnifiedMelExtractor.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorl {
namespace {

// A short window keeps the front end fast: 3200 samples give 21 frames.
constexpr std::int64_t windowSamples = 3200;

class UnifiedMelExtractorTest : public ::testing::Test {
protected:
    // A chirp-like tone over the first validCount samples, zeros after, as the engines pad their windows.
    static std::vector<float> window(std::int64_t validCount) {
        std::vector<float> samples(static_cast<std::size_t>(windowSamples), 0.0f);
        for (std::int64_t i = 0; i < validCount; ++i) {
            samples[static_cast<std::size_t>(i)] = 0.5f * std::sin(0.001f * static_cast<float>(i * i) * 0.01f);
        }
        return samples;
    }

    float value(const UnifiedMelExtractor::Features& features, std::size_t bin, std::size_t frame) const {
        return features.mel->data<float>()[bin * static_cast<std::size_t>(extractor.totalFrames) + frame];
    }

    std::int32_t length(const UnifiedMelExtractor::Features& features) const {
        return features.length->data<std::int32_t>()[0];
    }

    bool frameIsZero(const UnifiedMelExtractor::Features& features, std::size_t frame) const {
        for (std::size_t bin = 0; bin < 128; ++bin) {
            if (value(features, bin, frame) != 0.0f) {
                return false;
            }
        }
        return true;
    }

    UnifiedMelExtractor extractor = UnifiedMelExtractor::make(UnifiedConfig{}, windowSamples);
};

TEST(UnifiedMelExtractorSizes, TheModelWindowsHaveTheirFrameCounts) {
    EXPECT_EQ(UnifiedMelExtractor::make(UnifiedConfig{}, 122880).totalFrames, 769);
    EXPECT_EQ(UnifiedMelExtractor::make(UnifiedConfig{}, 240000).totalFrames, 1501);
}

TEST_F(UnifiedMelExtractorTest, TheArraysHaveTheEncodersShapes) {
    const auto features = extractor.features(window(windowSamples), windowSamples);
    EXPECT_EQ(features.mel->shape(), (platform::ml::MultiArray::Shape{1, 128, 21}));
    EXPECT_EQ(features.mel->dataType(), platform::ml::DataType::float32);
    EXPECT_EQ(features.length->shape(), (platform::ml::MultiArray::Shape{1}));
    EXPECT_EQ(features.length->dataType(), platform::ml::DataType::int32);
}

TEST_F(UnifiedMelExtractorTest, LessThanOneHopOfAudioGivesNoFeatures) {
    for (const std::int64_t validCount : {0, 159}) {
        const auto features = extractor.features(window(validCount), validCount);
        EXPECT_EQ(length(features), 0) << validCount;
        for (std::size_t frame = 0; frame < 21; ++frame) {
            EXPECT_TRUE(frameIsZero(features, frame)) << validCount << " frame " << frame;
        }
    }
}

TEST_F(UnifiedMelExtractorTest, OneValidFrameIsItsOwnMean) {
    const auto features = extractor.features(window(200), 200);
    EXPECT_EQ(length(features), 1);
    EXPECT_TRUE(frameIsZero(features, 0));
}

TEST_F(UnifiedMelExtractorTest, ValidFramesAreNormalisedPerBinAndPaddingFramesAreZero) {
    const auto features = extractor.features(window(1600), 1600);
    ASSERT_EQ(length(features), 10);
    for (std::size_t bin = 0; bin < 128; bin += 17) {
        double sum = 0.0;
        double squares = 0.0;
        for (std::size_t frame = 0; frame < 10; ++frame) {
            sum += value(features, bin, frame);
            squares += value(features, bin, frame) * value(features, bin, frame);
        }
        EXPECT_NEAR(sum / 10.0, 0.0, 1e-4) << bin;
        EXPECT_NEAR(std::sqrt(squares / 9.0), 1.0, 1e-3) << bin;
    }
    for (std::size_t frame = 10; frame < 21; ++frame) {
        EXPECT_TRUE(frameIsZero(features, frame)) << frame;
    }
}

TEST_F(UnifiedMelExtractorTest, AFullWindowLeavesItsLastFrameOut) {
    const auto full = extractor.features(window(windowSamples), windowSamples);
    EXPECT_EQ(length(full), 20);
    EXPECT_TRUE(frameIsZero(full, 20));
    EXPECT_FALSE(frameIsZero(full, 19));
    EXPECT_EQ(length(extractor.features(window(windowSamples), windowSamples + 160)), 21);
}

} // namespace
} // namespace quorl
