#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quorl {

// The whole acoustic frames of each phoneme, from the durations the duration stage predicts.
struct KokoroAneFrameCounts {
    std::vector<std::int32_t> counts;
    int total = 0;

    // Each duration rounded half away from zero and raised to at least 1. Throws KokoroAneError
    // acousticFramesExceedCap when the frames sum to more than maxAcousticFrames, and unexpectedOutputShape for
    // the stage "postAlbert" when a duration is not a finite number within the 32-bit range.
    static KokoroAneFrameCounts fromDurations(std::span<const float> durations);
};

} // namespace quorl
