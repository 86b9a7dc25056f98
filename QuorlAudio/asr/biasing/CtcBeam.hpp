#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorl {

// ln(e^a + e^b) in single precision, exact when either side is minus infinity.
float logAddExp(float a, float b);

// One hypothesis of the CTC prefix beam search, keyed by its prefix.
struct CtcBeam {
    // The collapsed token ids emitted so far: no blanks, no merged repeats.
    std::vector<int> prefix{};
    // Log-probability of the alignments of the prefix that end in a blank.
    float pBlank = 0;
    // Log-probability of the alignments of the prefix that end in its last token.
    float pNonBlank = 0;
    // Weighted language-model scores and word bonuses gathered so far.
    float lmScore = 0;
    // The pieces of the word being built, without the word-boundary marker, not yet scored.
    std::vector<std::string> wordPieces{};
    // The last word the language model scored.
    std::optional<std::string> prevWord{};

    float totalAcoustic() const { return logAddExp(pBlank, pNonBlank); }
    // The ranking score.
    float total() const { return totalAcoustic() + lmScore; }
    std::optional<int> lastToken() const;
};

} // namespace quorl
