#include "QuorlAudio/diarization/streaming/FrameRounding.hpp"

#include <cmath>
#include <stdexcept>
#include <string>

namespace quorl {

std::int64_t nearestFrameCount(float seconds, float frameDurationSeconds) {
    const float frames = seconds / frameDurationSeconds;
    // 2^63 is exactly representable; every float below it in magnitude rounds into range.
    constexpr float limit = 9223372036854775808.0f;
    if (!std::isfinite(frames) || std::fabs(frames) >= limit) {
        throw std::invalid_argument(std::to_string(seconds) + " s is not a whole number of " +
                                    std::to_string(frameDurationSeconds) + " s frames");
    }
    return std::llround(frames);
}

} // namespace quorl
