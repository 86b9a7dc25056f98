#pragma once

#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"

#include <optional>
#include <vector>

namespace quorl {

// What decoding one window produced. The four token lists are index-aligned.
struct TdtHypothesis {
    // The sum of tokenConfidences.
    float score = 0;
    // Recorded token ids, in emission order.
    std::vector<int> ySequence;
    // The state after the window's last decoder run: current recurrent arrays, the other fields as the
    // window found them.
    std::optional<TdtDecoderState> decState;
    // Global encoder frame of each recorded token.
    std::vector<int> timestamps;
    // Frames each recorded token spans.
    std::vector<int> tokenDurations;
    // Confidence of each recorded token, in [0, 1].
    std::vector<float> tokenConfidences;
    // The last non-blank token of the window, recorded or not.
    std::optional<int> lastToken;
};

} // namespace quorl
