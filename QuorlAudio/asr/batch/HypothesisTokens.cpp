#include "QuorlAudio/asr/batch/HypothesisTokens.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"

namespace quorl {

std::vector<DecodedToken> hypothesisTokens(const TdtHypothesis& hypothesis, int encoderSequenceLength) {
    const std::vector<int>& ids = hypothesis.ySequence;
    if (ids.empty() || encoderSequenceLength == 0) {
        return {};
    }
    if (hypothesis.timestamps.size() != ids.size() || hypothesis.tokenConfidences.size() != ids.size()) {
        throw ASRError::processingFailed("Token, timestamp, and confidence arrays are misaligned");
    }
    const bool hasDurations = hypothesis.tokenDurations.size() == ids.size();
    std::vector<DecodedToken> tokens;
    tokens.reserve(ids.size());
    for (std::size_t index = 0; index < ids.size(); ++index) {
        tokens.push_back(DecodedToken{
            .token = ids[index],
            .timestamp = hypothesis.timestamps[index],
            .confidence = hypothesis.tokenConfidences[index],
            .duration = hasDurations ? hypothesis.tokenDurations[index] : 0,
        });
    }
    return tokens;
}

} // namespace quorl
