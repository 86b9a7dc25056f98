#include "QuorlAudio/tts/kokoro/KokoroAneFrameCounts.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorl {
namespace {

std::int32_t framesOf(float duration) {
    const double rounded = std::round(static_cast<double>(duration));
    if (!std::isfinite(rounded) || rounded > std::numeric_limits<std::int32_t>::max() ||
        rounded < std::numeric_limits<std::int32_t>::min()) {
        throw KokoroAneError::unexpectedOutputShape("postAlbert", "finite durations within the 32-bit range",
                                                    floatDecimalText(duration));
    }
    return std::max<std::int32_t>(static_cast<std::int32_t>(rounded), 1);
}

} // namespace

KokoroAneFrameCounts KokoroAneFrameCounts::fromDurations(std::span<const float> durations) {
    KokoroAneFrameCounts frames;
    std::int64_t total = 0;
    for (const float duration : durations) {
        frames.counts.push_back(framesOf(duration));
        total += frames.counts.back();
    }
    constexpr int cap = KokoroAneConstants::maxAcousticFrames;
    if (total > cap) {
        const auto have = std::min<std::int64_t>(total, std::numeric_limits<int>::max());
        throw KokoroAneError::acousticFramesExceedCap(static_cast<int>(have), cap);
    }
    frames.total = static_cast<int>(total);
    return frames;
}

} // namespace quorl
