#include "QuorlAudio/asr/batch/TdtJointDecision.hpp"

#include <algorithm>
#include <cmath>

namespace quorl {

float confidenceOf(float probability) {
    if (!std::isfinite(probability)) {
        return 0;
    }
    const float capped = std::min(probability, 1.0f);
    return capped >= 0 ? capped : 0;
}

} // namespace quorl
