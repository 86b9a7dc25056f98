#pragma once

#include "QuorlAudio/asr/batch/DecodedToken.hpp"
#include "QuorlAudio/asr/batch/TdtHypothesis.hpp"

#include <vector>

namespace quorl {

// The tokens a decoded chunk contributes: none when the hypothesis is empty or the encoder gave no frames,
// otherwise one per token id with its timestamp, confidence and duration (0 for every token when the durations
// do not line up with the ids). Throws ASRError::processingFailed when the timestamps or confidences do not.
std::vector<DecodedToken> hypothesisTokens(const TdtHypothesis& hypothesis, int encoderSequenceLength);

} // namespace quorl
