#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"
#include "QuorlAudio/asr/biasing/BKTree.hpp"
#include "QuorlAudio/asr/biasing/CtcKeywordSpotter.hpp"
#include "QuorlAudio/asr/biasing/CtcTokenizer.hpp"
#include "QuorlAudio/asr/biasing/CustomVocabularyContext.hpp"
#include "QuorlAudio/asr/biasing/RescoringRecords.hpp"
#include "QuorlAudio/asr/biasing/VocabularyRescorerConfig.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace quorl {

// Corrects a transcript toward a custom vocabulary: a span whose text resembles a term is replaced by the term
// when the term's constrained CTC score, plus a context-biasing weight, beats the span's own score over the
// same stretch of log-probabilities. Immutable; every call works on its own values, from any thread.
class VocabularyRescorer {
public:
    using Config = VocabularyRescorerConfig;
    using WordTiming = rescoring::WordTiming;
    using RescoringResult = rescoring::RescoringResult;
    using RescoreOutput = rescoring::RescoreOutput;
    using CandidateMatch = rescoring::CandidateMatch;
    using CTCMatchCandidate = rescoring::CTCMatchCandidate;
    using CTCMatchResult = rescoring::CTCMatchResult;
    using PendingReplacement = rescoring::PendingReplacement;
    using Rows = CtcKeywordSpotter::Rows;

    // What a rescorer is made of; written with designated initialisers.
    struct Fields {
        CtcKeywordSpotter spotter;
        CustomVocabularyContext vocabulary;
        // Without it no span is ever replaced.
        std::optional<CtcTokenizer> ctcTokenizer;
        // Selects the word-centric pass and, with a tree, the tree search for candidates.
        bool useBKTree = false;
        std::optional<BKTree> bkTree;
        std::int64_t bkTreeMaxDistance = 3;
        Config config;
    };

    // The log-probabilities of one stretch of audio and how strongly they are to favour the vocabulary.
    struct Scoring {
        const Rows& logProbs;
        // Seconds per row.
        double frameDuration;
        // Base context-biasing weight, adapted to each term's token count.
        float cbw;
        // Seconds searched on either side of a span.
        double marginSeconds;
        // The least similarity for a term without one of its own.
        float minSimilarity;
    };

    explicit VocabularyRescorer(Fields fields);

    // A rescorer with the CTC tokenizer of `ctcModelDirectory` (the default CTC model folder when absent) and
    // the term-centric search. The tokenizer's errors propagate.
    static VocabularyRescorer create(CtcKeywordSpotter spotter, CustomVocabularyContext vocabulary, Config config,
                                     const std::optional<std::filesystem::path>& ctcModelDirectory);

    // Tokens grouped into words at "▁" or space marks; blanks, pads and empty tokens are skipped.
    static std::vector<WordTiming> buildWordTimings(const std::vector<TokenTiming>& tokenTimings);

    // The words of the token timings rescored by the pass the rescorer is set up for.
    RescoreOutput ctcTokenRescore(std::string_view transcript, const std::vector<TokenTiming>& tokenTimings,
                                  const Scoring& scoring) const;
    // Term by term over the transcript, then the spotter's detections in a small vocabulary.
    RescoreOutput rescoreWithConstrainedCTCTermCentric(std::string_view transcript,
                                                       const std::vector<WordTiming>& wordTimings,
                                                       const Scoring& scoring) const;
    // Word by word, each asking for the terms that resemble it.
    RescoreOutput rescoreWithConstrainedCTCWordCentric(std::string_view transcript,
                                                       const std::vector<WordTiming>& wordTimings,
                                                       const Scoring& scoring) const;

    // The terms that resemble the word, alone or joined with the words after it, most similar first (the longer
    // span first at equal similarity).
    std::vector<CandidateMatch> findCandidateTermsForWord(std::string_view normalizedWord,
                                                          const std::vector<std::string>& adjacentNormalized,
                                                          float minSimilarity, std::optional<float> searchFloor) const;

    // Whether the term, weighted, outscores the span over the span's frames and the margin around them. A
    // frame duration or span times that give no frame index keep the span.
    CTCMatchResult evaluateCTCMatch(const CTCMatchCandidate& candidate, const Scoring& scoring) const;

    // The threshold for a one-word span: raised to 0.8 for a word of at most 4 characters and less than three
    // quarters of the term's.
    static float checkLengthRatioRules(std::string_view normalizedWord, std::string_view vocabTerm,
                                       float minSimilarity);

    struct StopwordDecision {
        bool shouldSkip;
        float adjustedMinSimilarity;
    };
    // A one-word span that is a stop word is skipped; a longer span holding a function word needs 0.85.
    static StopwordDecision checkStopwordRules(std::string_view normalizedWord, std::int64_t spanLength,
                                               const std::vector<std::string>& spanWords, float currentSimilarity);

    static const std::unordered_set<std::string>& stopwords();
    // The function words among the stop words: articles, prepositions, auxiliaries and pronouns.
    static const std::unordered_set<std::string>& multiWordStopwords();

    const CtcKeywordSpotter& spotter() const { return fields_.spotter; }
    const CustomVocabularyContext& vocabulary() const { return fields_.vocabulary; }
    const std::optional<CtcTokenizer>& ctcTokenizer() const { return fields_.ctcTokenizer; }
    bool useBKTree() const { return fields_.useBKTree; }
    const std::optional<BKTree>& bkTree() const { return fields_.bkTree; }
    std::int64_t bkTreeMaxDistance() const { return fields_.bkTreeMaxDistance; }
    const Config& config() const { return fields_.config; }

private:
    std::vector<CandidateMatch> scanVocabulary(std::string_view word, const std::vector<std::string>& adjacent,
                                               float minSimilarity) const;
    std::vector<CandidateMatch> searchTree(std::string_view word, const std::vector<std::string>& adjacent,
                                           float minSimilarity, std::optional<float> searchFloor) const;
    float constrainedScore(const std::vector<std::int64_t>& tokens, std::int64_t start, std::int64_t end,
                           const Scoring& scoring) const;

    Fields fields_;
};

} // namespace quorl
