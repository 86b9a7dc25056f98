#include "QuorlAudio/vad/VadSpeechSegmenter.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

TEST(VadSegmentationConfigTests, DefaultsGiveTheseSampleCountsAndThresholds) {
    const auto config = VadSegmentationConfig::defaultConfig();
    const auto counts = config.sampleCounts();
    EXPECT_EQ(counts.minSpeech, 2400);
    EXPECT_EQ(counts.minSilence, 12000);
    EXPECT_EQ(counts.padding, 1600);
    EXPECT_EQ(counts.minSilenceAtMaxSpeech, 1568);
    EXPECT_EQ(counts.maxSpeech, std::optional<std::int64_t>(216704));
    EXPECT_FLOAT_EQ(config.thresholds(0.85f).speech, 0.85f);
    EXPECT_FLOAT_EQ(config.thresholds(0.85f).silence, 0.70f);
    EXPECT_FALSE(VadSegmentationConfig{.maxSpeechDuration = std::numeric_limits<double>::infinity()}
                     .sampleCounts()
                     .maxSpeech.has_value());
}

TEST(VadSegmentationConfigTests, TheSilenceThresholdIsSetOrBelowTheSpeechThresholdButAtLeastAHundredth) {
    EXPECT_FLOAT_EQ(VadSegmentationConfig{}.effectiveNegativeThreshold(0.1f), 0.01f);
    EXPECT_FLOAT_EQ(VadSegmentationConfig{.negativeThreshold = 0.4f}.effectiveNegativeThreshold(0.85f), 0.4f);
    const auto set = VadSegmentationConfig{.negativeThreshold = 0.4f}.thresholds(0.85f);
    EXPECT_FLOAT_EQ(set.speech, 0.55f);
    EXPECT_FLOAT_EQ(set.silence, 0.4f);
    EXPECT_FLOAT_EQ(VadSegmentationConfig{.negativeThreshold = 0.95f}.thresholds(0.85f).speech, 1.0f);
}

TEST(VadSegmentationConfigTests, ValuesOutsideTheirRangesAreRejected) {
    const VadSegmentationConfig invalid[] = {
        {.minSpeechDuration = -0.1},
        {.maxSpeechDuration = 0.0},
        {.speechPadding = std::numeric_limits<double>::quiet_NaN()},
        {.silenceThresholdForSplit = 1.5f},
        {.negativeThreshold = -0.2f},
        {.negativeThresholdOffset = -0.1f},
    };
    for (const auto& config : invalid) {
        EXPECT_THROW(config.validate(), std::invalid_argument);
        EXPECT_THROW(VadSpeechSegmenter(config, 0.85f), std::invalid_argument);
    }
    EXPECT_NO_THROW(VadSegmentationConfig::defaultConfig().validate());
}

struct SegmentationCase {
    std::string name;
    VadSegmentationConfig config;
    std::vector<float> probabilities;
    std::int64_t samples;
    std::vector<SampleRange> ranges;
};

TEST(VadSpeechSegmenterTests, ProbabilitiesBecomeThesePaddedSampleRanges) {
    const double noLimit = std::numeric_limits<double>::infinity();
    const SegmentationCase cases[] = {
        {"speech ends once the silence lasts the minimum, then is padded",
         {},
         {0.9f, 0.9f, 0.1f, 0.1f, 0.1f, 0.1f},
         24576,
         {{0, 9792}}},
        {"speech still open at the end runs to the end", {}, {0.1f, 0.9f, 0.9f}, 12288, {{2496, 12288}}},
        {"close neighbours share the gap",
         {.minSilenceDuration = 0.0, .speechPadding = 0.5},
         {0.9f, 0.1f, 0.9f, 0.1f},
         16384,
         {{0, 6144}, {6144, 16384}}},
        {"an over-long segment splits at its silence",
         {.maxSpeechDuration = 1.0, .speechPadding = 0.0},
         {0.9f, 0.2f, 0.9f, 0.9f, 0.9f},
         20480,
         {{0, 4096}, {8192, 20480}}},
        {"without a silence it is cut at the block and restarts later",
         {.maxSpeechDuration = 1.0, .speechPadding = 0.0},
         {0.9f, 0.9f, 0.9f, 0.9f, 0.9f},
         20480,
         {{0, 12288}, {16384, 20480}}},
        {"a probability between the thresholds keeps the silence's first start",
         {.speechPadding = 0.0},
         {0.9f, 0.9f, 0.1f, 0.8f, 0.1f, 0.1f},
         24576,
         {{0, 8192}}},
        {"speech shorter than the minimum is dropped",
         {.minSpeechDuration = 0.3, .speechPadding = 0.0},
         {0.1f, 0.9f, 0.1f, 0.1f, 0.1f, 0.1f, 0.9f},
         28672,
         {}},
        {"without a maximum speech runs on",
         {.maxSpeechDuration = noLimit, .speechPadding = 0.0},
         std::vector<float>(100, 0.9f),
         409600,
         {{0, 409600}}},
        {"no probabilities, no segments", {}, {}, 4096, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(VadSpeechSegmenter(c.config, 0.85f).detectSpeechSampleRanges(c.probabilities, c.samples), c.ranges);
    }
}

TEST(VadSpeechSegmenterTests, ASplitPrefersTheLongestQuietSilenceThenTheLongestOrTheLatest) {
    // Speech with a long shallow silence (blocks 1 to 3: 12288 samples, lowest 0.5) and a short deep one (block 5:
    // 4096 samples, lowest 0.1); block 7 passes the maximum of 2 s (27904 samples) and splits.
    const std::vector<float> probabilities{0.9f, 0.5f, 0.5f, 0.5f, 0.9f, 0.1f, 0.9f, 0.9f, 0.9f, 0.9f};
    const struct {
        const char* name;
        float silenceThresholdForSplit;
        bool useMaxPossible;
        std::vector<SampleRange> ranges;
    } cases[] = {
        {"the quiet candidate", 0.3f, true, {{0, 20480}, {24576, 40960}}},
        {"none quiet: the longest", 0.05f, true, {{0, 4096}, {16384, 40960}}},
        {"none quiet: the latest", 0.05f, false, {{0, 20480}, {24576, 40960}}},
        {"both quiet: the longest of them", 0.6f, false, {{0, 4096}, {16384, 40960}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const VadSegmentationConfig config{.minSilenceDuration = 10.0,
                                           .maxSpeechDuration = 2.0,
                                           .speechPadding = 0.0,
                                           .silenceThresholdForSplit = c.silenceThresholdForSplit,
                                           .useMaxPossibleSilenceAtMaxSpeech = c.useMaxPossible};
        EXPECT_EQ(VadSpeechSegmenter(config, 0.85f).detectSpeechSampleRanges(probabilities, 40960), c.ranges);
    }
}

TEST(VadSpeechSegmenterTests, SegmentsAreInSecondsInsideTheRecording) {
    const VadSpeechSegmenter segmenter(VadSegmentationConfig::defaultConfig(), 0.85f);
    const std::vector<float> probabilities{0.9f, 0.9f, 0.1f, 0.1f, 0.1f, 0.1f};
    EXPECT_EQ(segmenter.segments(probabilities, 24576), (std::vector<VadSegment>{{0.0, 0.612}}));
    EXPECT_EQ(segmenter.segments(std::vector<float>{0.1f, 0.9f, 0.9f}, 12288),
              (std::vector<VadSegment>{{0.156, 0.768}}));
    EXPECT_TRUE(segmenter.segments(probabilities, 0).empty());
    const VadSegment segment{.startTime = 0.156, .endTime = 0.768};
    EXPECT_EQ(segment.startSample(16000), 2496);
    EXPECT_EQ(segment.sampleCount(16000), 9792);
    EXPECT_NEAR(segment.duration(), 0.612, 1e-12);
}

} // namespace
} // namespace quorl
