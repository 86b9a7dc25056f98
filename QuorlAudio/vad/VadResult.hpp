#pragma once

#include "QuorlAudio/vad/VadState.hpp"

namespace quorl {

// What the model says about one 4096-sample block.
struct VadResult {
    // Speech probability of the block.
    float probability = 0.0f;
    // The probability is at least the manager's default threshold.
    bool isVoiceActive = false;
    // Seconds spent on the block.
    double processingTime = 0.0;
    // The state to pass with the stream's next block.
    VadState outputState;
};

} // namespace quorl
