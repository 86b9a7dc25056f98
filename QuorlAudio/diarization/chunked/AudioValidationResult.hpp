#pragma once

#include <string>
#include <vector>

namespace quorl {

// The verdict on a sample buffer before diarization.
struct AudioValidationResult {
    bool isValid = false;
    // Sample count divided by 16000, whatever the buffer's real rate.
    float durationSeconds = 0;
    // What is wrong, in the order the checks ran; empty when valid.
    std::vector<std::string> issues{};
};

} // namespace quorl
