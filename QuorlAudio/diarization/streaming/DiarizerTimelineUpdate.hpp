#pragma once

#include "QuorlAudio/diarization/streaming/DiarizerChunkResult.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerSegment.hpp"

#include <vector>

namespace quorl {

// What one step of a diarizer timeline produced.
struct DiarizerTimelineUpdate {
    // The segments this step emitted as finalized.
    std::vector<DiarizerSegment> finalizedSegments{};
    // The complete tentative view after this step.
    std::vector<DiarizerSegment> tentativeSegments{};
    // The predictions of this step.
    DiarizerChunkResult chunkResult{};
};

} // namespace quorl
