#pragma once

#include <cstdint>
#include <optional>

namespace quorl {

// The speech and silence thresholds of one segmentation or stream (hysteresis: speech begins at `speech` and
// only a probability below `silence` counts towards its end).
struct VadThresholds {
    float speech = 0.0f;
    float silence = 0.0f;
};

// The configuration's durations as 16 kHz sample counts, each truncated toward zero.
struct VadSampleCounts {
    std::int64_t minSpeech = 0;
    std::int64_t minSilence = 0;
    std::int64_t padding = 0;
    std::int64_t minSilenceAtMaxSpeech = 0;
    // The longest stretch, from a segment's start to a block's start, before a forced split; none: no limit.
    std::optional<std::int64_t> maxSpeech = std::nullopt;
};

// How block probabilities become speech segments and streaming events.
struct VadSegmentationConfig {
    // Seconds; the shortest segment kept.
    double minSpeechDuration = 0.15;
    // Seconds of silence before a segment ends.
    double minSilenceDuration = 0.75;
    // Seconds a segment may last before it is split; infinity means no limit.
    double maxSpeechDuration = 14.0;
    // Seconds added before and after each segment.
    double speechPadding = 0.1;
    // A silence whose lowest probability is at most this is a preferred split point.
    float silenceThresholdForSplit = 0.3f;
    // Probability below which a block counts as silence; none: the speech threshold less the offset.
    std::optional<float> negativeThreshold = std::nullopt;
    // Distance between the speech and the silence thresholds.
    float negativeThresholdOffset = 0.15f;
    // Seconds a silence must exceed to become a split candidate.
    double minSilenceAtMaxSpeech = 0.098;
    // With no preferred candidate, split at the longest candidate (true) or at the latest (false).
    bool useMaxPossibleSilenceAtMaxSpeech = true;

    static VadSegmentationConfig defaultConfig();

    // Throws std::invalid_argument naming the first field outside its range: durations below 0 (the maximum
    // not above 0), probabilities outside 0 to 1, an offset below 0, or a value that is not a number.
    void validate() const;
    // This configuration, once validate() accepts it.
    const VadSegmentationConfig& validated() const;

    // `negativeThreshold` when set, otherwise `baseThreshold` less the offset but at least 0.01.
    float effectiveNegativeThreshold(float baseThreshold) const;
    // Without a negative threshold: the manager's default threshold and the effective negative threshold below
    // it. With one: that threshold, and the offset above it (at most 1) as the speech threshold.
    VadThresholds thresholds(float defaultThreshold) const;
    VadSampleCounts sampleCounts() const;
};

} // namespace quorl
