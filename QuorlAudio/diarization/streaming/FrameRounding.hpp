#pragma once

#include <cstdint>

namespace quorl {

// Seconds as a whole number of frames: the quotient, taken in 32-bit float, to the nearest integer with halves
// away from zero (2.5 frames become 3). Throws std::invalid_argument when the quotient is not finite or does not
// fit a 64-bit integer.
std::int64_t nearestFrameCount(float seconds, float frameDurationSeconds);

} // namespace quorl
