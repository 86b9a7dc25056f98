#pragma once

#include "QuorlAudio/asr/biasing/CustomVocabularyTerm.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The values the vocabulary rescorer's search, evaluation and finalisation hand one another, and the ones
// it returns.
namespace quorl::rescoring {

// One transcript word and the seconds it spans.
struct WordTiming {
    std::string word;
    double startTime = 0;
    double endTime = 0;

    bool operator==(const WordTiming&) const = default;
};

// One replacement that was applied.
struct RescoringResult {
    std::string originalWord;
    float originalScore = 0;
    std::optional<std::string> replacementWord;
    // The term's score with the context-biasing weight added.
    std::optional<float> replacementScore;
    bool shouldReplace = false;
    std::string reason;

    bool operator==(const RescoringResult&) const = default;
};

struct RescoreOutput {
    std::string text;
    // In the order they were applied.
    std::vector<RescoringResult> replacements;
    bool wasModified = false;

    bool operator==(const RescoreOutput&) const = default;
};

// A vocabulary term whose text resembles a transcript word, alone or joined with up to three after it.
struct CandidateMatch {
    CustomVocabularyTerm term;
    float similarity = 0;
    // Transcript words covered, 1 to 4.
    std::int64_t spanLength = 1;

    bool operator==(const CandidateMatch&) const = default;
};

// A transcript span and the term that may replace it, ready for the acoustic comparison.
struct CTCMatchCandidate {
    std::string originalPhrase;
    // The term's own text, never an alias.
    std::string vocabTerm;
    std::vector<std::int64_t> vocabTokens;
    float similarity = 0;
    std::int64_t spanLength = 1;
    // Indices of the span's words in the word list.
    std::vector<std::int64_t> spanIndices;
    double spanStartTime = 0;
    double spanEndTime = 0;

    bool operator==(const CTCMatchCandidate&) const = default;
};

struct CTCMatchResult {
    bool shouldReplace = false;
    float originalScore = 0;
    float boostedVocabScore = 0;
    // The term, capitalised like the span's first word.
    std::string replacement;
    std::string reason;

    bool operator==(const CTCMatchResult&) const = default;
};

// A candidate that won its comparison, waiting for finalisation to settle overlaps.
struct PendingReplacement {
    CTCMatchCandidate candidate;
    CTCMatchResult result;
    float similarity = 0;

    bool operator==(const PendingReplacement&) const = default;
};

} // namespace quorl::rescoring
