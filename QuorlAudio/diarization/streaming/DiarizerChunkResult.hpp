#pragma once

#include <cstdint>
#include <vector>

namespace quorl {

// The predictions one diarizer step hands to the timeline: prediction matrices in frame-major order, the value
// of frame f and slot s at f × numSpeakers + s.
struct DiarizerChunkResult {
    // Frames that will not change any more.
    std::vector<float> finalizedPredictions{};
    std::int64_t finalizedFrameCount = 0;
    // Absolute frame of the first finalized frame.
    std::int64_t startFrame = 0;
    // The frames after them, which a later chunk may revise.
    std::vector<float> tentativePredictions{};
    std::int64_t tentativeFrameCount = 0;

    std::int64_t tentativeStartFrame() const { return startFrame + finalizedFrameCount; }

    // The probability of a slot at a frame counted from this chunk's first finalized frame; 0 outside the chunk
    // or the slots.
    float probability(std::int64_t speaker, std::int64_t frame, std::int64_t numSpeakers) const;
    // The same over the tentative frames, counted from the first tentative frame.
    float tentativeProbability(std::int64_t speaker, std::int64_t frame, std::int64_t numSpeakers) const;
};

} // namespace quorl
