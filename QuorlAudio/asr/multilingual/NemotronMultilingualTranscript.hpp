#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// What a stream has recognised since its last finish or reset: the emitted ids (language tags included), the
// timings of the ids that are not tags, the language the stream was first found to speak, and the encoder
// frames consumed so far, from which timings count.
struct NemotronMultilingualTranscript {
    std::vector<std::int64_t> tokenIds;
    std::vector<TokenTiming> tokenTimings;
    std::optional<std::string> firstDetectedLanguage;
    std::int64_t absoluteFrameBase = 0;

    // The first language recorded stays.
    void recordDetectedLanguage(const std::string& language) {
        if (!firstDetectedLanguage) {
            firstDetectedLanguage = language;
        }
    }

    // Where the transcript stood, so that a chunk that fails can take back what it added.
    struct Mark {
        std::size_t tokenCount;
        std::size_t timingCount;
        std::optional<std::string> firstDetectedLanguage;
    };
    Mark mark() const { return {tokenIds.size(), tokenTimings.size(), firstDetectedLanguage}; }
    void rollBack(const Mark& mark) {
        tokenIds.resize(mark.tokenCount);
        tokenTimings.resize(mark.timingCount);
        firstDetectedLanguage = mark.firstDetectedLanguage;
    }
};

} // namespace quorl
