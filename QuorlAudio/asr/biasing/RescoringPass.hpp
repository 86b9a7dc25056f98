#pragma once

#include "QuorlAudio/asr/biasing/NormalizedForm.hpp"
#include "QuorlAudio/asr/biasing/VocabularyRescorer.hpp"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace quorl::rescoring {

// One rescoring call over a transcript's words: finds the spans that resemble a vocabulary term, keeps those
// whose term wins the CTC comparison, and finalises them into the output. Lives for one call.
class RescoringPass {
public:
    RescoringPass(const VocabularyRescorer& rescorer, const std::vector<WordTiming>& wordTimings,
                  const VocabularyRescorer::Scoring& scoring);

    // Each term in vocabulary order searched over the words; then, for a small vocabulary, the terms the
    // spotter hears.
    RescoreOutput termCentric();
    // Each word in order, with the terms that resemble it.
    RescoreOutput wordCentric();

private:
    // A text split into characters, as similarity compares it.
    using Characters = std::vector<std::string>;

    // What one term brings to the search.
    struct TermValues {
        const CustomVocabularyTerm& term;
        float threshold;
        const std::vector<std::int64_t>& tokens;
        std::unordered_set<std::string> formSet;
        std::vector<NormalizedForm> multiWordForms;
        std::vector<NormalizedForm> oneWordForms;
        std::vector<Characters> oneWordFormCharacters;
        std::string normalizedTerm;
    };

    // Nothing for a term too short, without tokens or without forms.
    std::optional<TermValues> termValues(const CustomVocabularyTerm& term) const;
    void scanMultiWordSpans(const TermValues& values);
    void scanOneWordSpans(const TermValues& values);
    // The best similarity of word i, alone or joined with the next one or two, and the span that gave it;
    // `alone` holds every word's similarity on its own.
    std::pair<float, std::int64_t> bestOneWordMatch(std::size_t i, const TermValues& values,
                                                    const std::vector<float>& alone) const;
    float bestSimilarity(const Characters& text, const TermValues& values) const;
    void evaluateCandidates(std::size_t j, const std::vector<CandidateMatch>& candidates);

    // Whether a span of `length` words from word i reaches the threshold after the length and stop-word rules.
    bool accepts(std::size_t i, std::int64_t length, float similarity, const TermValues& values) const;
    // Whether the normalised span reads as another vocabulary term than this one.
    bool readsAsOtherTerm(const std::string& normalized, const TermValues& values) const;
    void evaluate(std::size_t i, std::int64_t length, float similarity, const TermValues& values);

    std::string phrase(std::size_t i, std::int64_t length) const;
    std::string normalizedPhrase(std::size_t i, std::int64_t length) const;
    RescoreOutput finalize();

    const VocabularyRescorer& rescorer_;
    const std::vector<WordTiming>& words_;
    const VocabularyRescorer::Scoring& scoring_;
    std::vector<std::string> normalizedWords_;
    // The characters of every normalised word, and of it joined with the next word and the next two (empty
    // where a word is missing or empty): the texts every one-word form is compared with.
    std::vector<Characters> wordCharacters_;
    std::vector<Characters> pairCharacters_;
    std::vector<Characters> tripleCharacters_;
    std::unordered_set<std::string> vocabularyNormalizedSet_;
    std::vector<PendingReplacement> pending_;
};

} // namespace quorl::rescoring
