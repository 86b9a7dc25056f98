#pragma once

#include <cstdint>

namespace quorl {

// How the vocabulary rescorer tunes its context-biasing weight and its spotter-anchored rescue. A plain value,
// written with designated initialisers; the member defaults are those of an environment without overrides.
struct VocabularyRescorerConfig {
    // When false, adaptiveCbw gives the base weight for every term.
    bool useAdaptiveThresholds = true;
    // Terms of more CTC tokens than this get a larger weight.
    std::int64_t referenceTokenCount = 3;
    // Terms of fewer tokens than this get a smaller weight; below 2 nothing is tapered.
    std::int64_t shortTermCbwTaperPivot = 1;
    float shortTermCbwTaperExponent = 2.0f;
    // Least similarity between a term and the words under a spotter detection of one word, and of several.
    float spotterRescueMinSimilarity = 0.0f;
    float spotterRescueMultiWordMinSimilarity = 0.0f;
    bool spotterRescueEnabled = true;

    // The configuration of this process: the environment's overrides as they were at the first call.
    static const VocabularyRescorerConfig& defaultConfig();
    // The same, with the environment read now.
    static VocabularyRescorerConfig fromEnvironment();

    // The weight a term of `tokenCount` CTC tokens gets: tapered below the pivot, growing with the logarithm
    // of the count above the reference, `baseCbw` otherwise.
    float adaptiveCbw(float baseCbw, std::int64_t tokenCount) const;

    bool operator==(const VocabularyRescorerConfig&) const = default;
};

} // namespace quorl
