#pragma once

#include <span>
#include <vector>

namespace quorl {

// Lines up the speaker slots of a new window with those of the windows before it. Each window of the offline
// model numbers its slots independently, so over the frames two windows share, the assignment of window slots
// to global slots that best agrees with what is already known is chosen.
namespace SortformerSpeakerStitcher {

// For each window slot, the global slot it continues. Both arrays are frame-major with numSpeakers values
// per frame; the assignment maximises the summed products of the matched slots' probabilities over the first
// `frames` frames, trying every permutation (ties go to the one found first, the identity before any other).
// The identity when there is nothing to compare: no frames, no slots, or fewer values than frames x slots.
std::vector<int> alignment(std::span<const float> global, std::span<const float> window, int frames, int numSpeakers);

} // namespace SortformerSpeakerStitcher

} // namespace quorl
