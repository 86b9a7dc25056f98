#pragma once

#include "QuorlAudio/asr/biasing/CtcDecoding.hpp"
#include "platform/ml/MultiArray.hpp"

#include <string>

namespace quorl {

struct ARPALanguageModel;

struct CtcBeamSearchConfig {
    // Shallow fusion, scored at word boundaries; none ranks by acoustics alone.
    const ARPALanguageModel* lm = nullptr;
    // Hypotheses kept after each frame; 0 keeps none.
    int beamWidth = 0;
    float lmWeight = 0;
    // Added once for every word the language model scores.
    float wordBonus = 0;
    // An id outside the frame's values makes the blank impossible.
    int blankId = 0;
    // Token ids expanded per frame, the likeliest first.
    int tokenCandidates = 0;
};

// CTC prefix beam search. Every frame must hold as many values as the first one (std::invalid_argument
// otherwise); a negative beam width or candidate count counts as 0.
std::string ctcBeamSearch(const CtcLogProbs& logProbs, const CtcVocabulary& vocabulary,
                          const CtcBeamSearchConfig& config);
// The same over the first batch element of a [batch, T, V] array of 32-bit floats.
std::string ctcBeamSearch(const platform::ml::MultiArray& logProbs, const CtcVocabulary& vocabulary,
                          const CtcBeamSearchConfig& config);

} // namespace quorl
