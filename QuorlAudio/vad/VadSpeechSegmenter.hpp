#pragma once

#include "QuorlAudio/vad/VadSegment.hpp"
#include "QuorlAudio/vad/VadSegmentationConfig.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace quorl {

// A stretch of a recording in 16 kHz samples, end excluded.
struct SampleRange {
    std::int64_t start = 0;
    std::int64_t end = 0;

    bool operator==(const SampleRange&) const = default;
};

// Cuts a recording into speech segments from its block probabilities (one per 4096 samples, block i starting at
// sample i x 4096), apart from the model that made them. Speech begins at a block at or above the speech
// threshold and ends once blocks below the silence threshold have lasted the minimum silence; segments shorter
// than the minimum speech are dropped; a segment that grows past the maximum is split at its best silence; every
// segment is then padded, and neighbours closer than twice the padding share the gap.
class VadSpeechSegmenter {
public:
    // Throws std::invalid_argument for a configuration outside its ranges.
    VadSpeechSegmenter(const VadSegmentationConfig& config, float defaultThreshold);

    // The segments of a recording of `totalSamples` samples, in seconds, inside [0, total].
    std::vector<VadSegment> segments(std::span<const float> probabilities, std::int64_t totalSamples) const;
    // The padded speech ranges of a recording of `audioLengthSamples` samples, each inside it and not empty;
    // none for no probabilities or no samples.
    std::vector<SampleRange> detectSpeechSampleRanges(std::span<const float> probabilities,
                                                      std::int64_t audioLengthSamples) const;

private:
    std::vector<SampleRange> padded(std::vector<SampleRange> ranges, std::int64_t audioLength) const;

    VadSegmentationConfig config_;
    VadThresholds thresholds_;
    VadSampleCounts counts_;
};

} // namespace quorl
