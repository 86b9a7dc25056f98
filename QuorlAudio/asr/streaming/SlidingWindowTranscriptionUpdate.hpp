#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"

#include <chrono>
#include <string>
#include <vector>

namespace quorl {

// What one successfully decoded window reports.
struct SlidingWindowTranscriptionUpdate {
    // The window's own text, not the accumulated transcript.
    std::string text;
    bool isConfirmed = false;
    // 0.1 to 1.0.
    float confidence = 0;
    // When the update was made.
    std::chrono::system_clock::time_point timestamp;
    // The window's tokens without those that repeat earlier windows.
    std::vector<int> tokenIds;
    // One per token of tokenIds, in seconds from the start of the stream; empty when the decoder did not give a
    // frame and a confidence for every token.
    std::vector<TokenTiming> tokenTimings;

    // The text of every timing, in order.
    std::vector<std::string> tokens() const;

    bool operator==(const SlidingWindowTranscriptionUpdate&) const = default;
};

} // namespace quorl
