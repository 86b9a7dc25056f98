#pragma once

#include "QuorlAudio/vad/VadSegmentationConfig.hpp"
#include "QuorlAudio/vad/VadStreamEvent.hpp"
#include "QuorlAudio/vad/VadStreamState.hpp"

#include <cstdint>
#include <optional>

namespace quorl {

// The streaming start and end rule, apart from the model: a block at or above the speech threshold starts
// speech (reported where the block began, less the padding); once blocks below the silence threshold have lasted
// the minimum silence, speech ends (reported where the silence began, plus the padding, less the block length).
// A block between the two thresholds changes nothing.
class VadStreamTracker {
public:
    // Throws std::invalid_argument for a configuration outside its ranges.
    VadStreamTracker(const VadSegmentationConfig& config, float defaultThreshold);

    // Moves the stream past one block of `blockSamples` samples with this probability: updates `triggered`,
    // `tempEndSample` and `processedSamples` (not `modelState`) and returns the event the block causes, without
    // a time.
    std::optional<VadStreamEvent> advance(VadStreamState& state, float probability, std::int64_t blockSamples) const;

private:
    VadThresholds thresholds_;
    VadSampleCounts counts_;
};

} // namespace quorl
