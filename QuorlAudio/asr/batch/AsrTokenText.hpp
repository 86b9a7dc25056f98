#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {

// Text, timings and confidence of decoded tokens, read against one vocabulary. Both the batch and the
// sliding-window recognisers take one from their window inference whenever they turn tokens into text, so a
// vocabulary replaced meanwhile applies from the next use on.
class AsrTokenText {
public:
    using Vocabulary = std::unordered_map<int, std::string>;

    // The current window's tokens without those it repeats from the previous window, and how many leading
    // tokens were removed.
    struct DeduplicatedTokens {
        std::vector<int> deduped;
        int removedCount;
    };

    // `logger` carries the recogniser's category; `boundarySearchFrames` bounds the duplicate search.
    AsrTokenText(AppLogger logger, int boundarySearchFrames, std::shared_ptr<const Vocabulary> vocabulary);

    float calculateConfidence(int tokenCount, bool isEmpty, const std::vector<float>& tokenConfidences) const;
    // Start and end times in seconds from global encoder frames, less the emission delay read from
    // "TDT_EMISSION_DELAY_FRAMES" on every call (1 frame when unset or not a decimal integer).
    std::vector<TokenTiming> createTokenTimings(const std::vector<int>& tokenIds, const std::vector<int>& timestamps,
                                                const std::vector<float>& confidences,
                                                const std::vector<int>& tokenDurations) const;
    DeduplicatedTokens removeDuplicateTokenSequence(const std::vector<int>& previous, const std::vector<int>& current,
                                                    int maxOverlap) const;
    std::string convertTokensToText(const std::vector<int>& tokenIds) const;

private:
    AppLogger logger_;
    int boundarySearchFrames_;
    std::shared_ptr<const Vocabulary> vocabulary_;
};

} // namespace quorl
