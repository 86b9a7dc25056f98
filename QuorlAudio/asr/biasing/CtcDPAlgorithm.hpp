#pragma once

#include <cstdint>
#include <vector>

namespace quorl {

// Finding a term's token sequence in CTC log-probabilities: a Viterbi alignment under the CTC rules with a
// free start and end, carrying each alignment's start and end frames forward so no traceback pass is needed.
namespace CtcDPAlgorithm {

using LogProbs = std::vector<std::vector<float>>;

// T + 1 rows by N + 1 columns: column i of row t describes the best alignment that has emitted keyword
// entries 1..i after consuming frames 0..t-1.
struct Tables {
    std::vector<std::vector<float>> dp;
    // The frame where that alignment emitted its first keyword symbol.
    std::vector<std::vector<std::int64_t>> backtrack;
    // One past the last frame where it emitted a token or wildcard.
    std::vector<std::vector<std::int64_t>> lastMatch;
};

struct Hit {
    float score;
    std::int64_t startFrame;
    // Exclusive.
    std::int64_t endFrame;
};

// The score of no alignment at all.
constexpr float unreachableScore = -3.4028235e38f;

Tables fillDPTable(const LogProbs& logProbs, const std::vector<std::int64_t>& keywordTokens, std::int64_t blankId);

// Entries other than the wildcard.
std::int64_t nonWildcardCount(const std::vector<std::int64_t>& keywordTokens);

// Peaks of the per-real-token score reaching minScore (or the best row when there is no peak); with
// mergeOverlap, hits whose frames touch or overlap become one.
std::vector<Hit> ctcWordSpotMultiple(const LogProbs& logProbs, const std::vector<std::int64_t>& keywordTokens,
                                     float minScore, bool mergeOverlap, std::int64_t blankId);

} // namespace CtcDPAlgorithm

} // namespace quorl
