#pragma once

#include "QuorlAudio/diarization/streaming/DiarizerSegment.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineConfig.hpp"

#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

namespace quorl {

// One speaker slot's segment-building state, carried from one finalized block of frames to the next.
struct SegmentScratch {
    static constexpr std::int64_t noFrame = std::numeric_limits<std::int64_t>::min();

    // Inside a speech run.
    bool speaking = false;
    // A closed segment from startFrame to endFrame waits to be emitted, in case the next run bridges to it.
    bool hasSegment = false;
    // Start of the segment being built: the waiting one, or the one the current run will close.
    std::int64_t startFrame = noFrame;
    // End of the waiting segment.
    std::int64_t endFrame = noFrame;
    // Activity measure summed over the active frames of the segment being built, and their count.
    float activitySum = 0;
    std::int64_t activeFrameCount = 0;
    // Padded start of the current run, and its own activity sum and active frame count.
    std::int64_t unmergedStartFrame = noFrame;
    float unmergedActivitySum = 0;
    std::int64_t unmergedActiveFrameCount = 0;

    bool operator==(const SegmentScratch&) const = default;
};

// Turns blocks of frame-major speaker probabilities into segments: hysteresis between the onset and offset
// thresholds, onset and offset pads, a minimum run length and bridging of short gaps. The pass over finalized
// frames advances the per-slot state and emits the segments that can no longer change; the pass over tentative
// frames starts from that state, reports the current view of the newest frames as tentative segments and
// leaves the state as it was.
class TimelineSegmentBuilder {
public:
    using Emit = std::function<void(const DiarizerSegment& segment)>;

    struct Pass {
        // A prediction matrix whose length is a multiple of the slot count.
        std::span<const float> predictions{};
        // Absolute frame of the block's first row.
        std::int64_t cursorFrame = 0;
        bool isFinalized = false;
        // Also emit the segment of a run still in progress at the end of the block.
        bool addTrailingTentative = false;
    };

    explicit TimelineSegmentBuilder(const DiarizerTimelineConfig& config);

    // Emits the block's segments grouped by slot in increasing order, each slot's in time order. `scratches`
    // holds one entry per slot; only a finalized pass writes it.
    void updateSegments(const Pass& pass, std::vector<SegmentScratch>& scratches, const Emit& emit) const;

private:
    const DiarizerTimelineConfig& config_;
};

} // namespace quorl
