#pragma once

#include "QuorlAudio/asr/biasing/CustomVocabularyContext.hpp"
#include "QuorlAudio/asr/biasing/CustomVocabularyTerm.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace quorl {

// One written form of a vocabulary term as similarity sees it: normalizeForSimilarity of the text or of an
// alias, and its number of words.
struct NormalizedForm {
    std::string normalized;
    std::int64_t wordCount = 0;

    bool operator==(const NormalizedForm&) const = default;
};

struct NormalizedFormHash {
    std::size_t operator()(const NormalizedForm& form) const;
};

// The distinct non-empty forms of the term, in this order: its text, the aliases of every vocabulary term
// with the same lower-cased text, then its own aliases.
std::vector<NormalizedForm> buildNormalizedForms(const CustomVocabularyTerm& term,
                                                 const CustomVocabularyContext& vocabulary);

// Every non-empty normalised text and alias of the vocabulary.
std::unordered_set<std::string> buildVocabularyNormalizedSet(const CustomVocabularyContext& vocabulary);

} // namespace quorl
