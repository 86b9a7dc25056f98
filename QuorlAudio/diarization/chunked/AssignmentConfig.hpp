#pragma once

namespace quorl {

// The distance and duration bounds of the speaker assignment rule.
struct AssignmentConfig {
    // A distance strictly below this may assign a segment to a speaker.
    float maxDistanceForAssignment = 0.65f;
    // A distance at or below this lets an assigned segment update the speaker.
    float maxDistanceForUpdate = 0.45f;
    // Seconds of speech needed to create a speaker, and to update one outside the very-close band.
    float minSpeakerDuration = 4.0f;
    // Seconds a segment needs for an ordinary assignment.
    float minSegmentDuration = 1.0f;

    static AssignmentConfig macOS();
    static AssignmentConfig iOS();
    // The preset of this platform: the desktop one.
    static AssignmentConfig current();
};

} // namespace quorl
