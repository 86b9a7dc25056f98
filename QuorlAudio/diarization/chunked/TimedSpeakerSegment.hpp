#pragma once

#include "platform/core/UUID.hpp"

#include <string>
#include <vector>

namespace quorl {

// One speaker turn of a diarization result. Each segment made gets a new random id.
struct TimedSpeakerSegment {
    platform::core::UUID id = platform::core::UUID::random();
    // The speaker's id in the speaker database.
    std::string speakerId{};
    // The speaker embedding the segment was derived from.
    std::vector<float> embedding{};
    // Seconds on the caller's timeline.
    float startTimeSeconds = 0;
    float endTimeSeconds = 0;
    // A confidence-like score; its formula is the producing pipeline's.
    float qualityScore = 0;

    // Negative when the end precedes the start.
    float durationSeconds() const;
};

} // namespace quorl
