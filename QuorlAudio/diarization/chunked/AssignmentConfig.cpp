#include "QuorlAudio/diarization/chunked/AssignmentConfig.hpp"

namespace quorl {

AssignmentConfig AssignmentConfig::macOS() {
    return {.maxDistanceForAssignment = 0.65f,
            .maxDistanceForUpdate = 0.45f,
            .minSpeakerDuration = 4.0f,
            .minSegmentDuration = 1.0f};
}

AssignmentConfig AssignmentConfig::iOS() {
    return {.maxDistanceForAssignment = 0.55f,
            .maxDistanceForUpdate = 0.45f,
            .minSpeakerDuration = 4.0f,
            .minSegmentDuration = 1.0f};
}

AssignmentConfig AssignmentConfig::current() { return macOS(); }

} // namespace quorl
