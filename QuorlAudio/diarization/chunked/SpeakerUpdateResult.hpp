#pragma once

#include "QuorlAudio/diarization/chunked/RawEmbedding.hpp"

#include <optional>
#include <vector>

namespace quorl {

// A speaker's fields after one segment was folded in.
struct SpeakerUpdateResult {
    // Absent when the segment could not be blended with the main embedding (different lengths).
    std::optional<std::vector<float>> updatedMainEmbedding{};
    std::vector<RawEmbedding> updatedRawEmbeddings{};
    float updatedDuration = 0;
    // The history holds enough entries for its mean to be worth recomputing.
    bool shouldRecalculate = false;
};

} // namespace quorl
