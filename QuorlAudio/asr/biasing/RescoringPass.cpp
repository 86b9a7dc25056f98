#include "QuorlAudio/asr/biasing/RescoringPass.hpp"

#include "QuorlAudio/asr/biasing/ContextBiasingConstants.hpp"
#include "QuorlAudio/asr/biasing/ReplacementFinalization.hpp"
#include "QuorlAudio/asr/biasing/SpotterAnchoredRescue.hpp"
#include "QuorlAudio/asr/biasing/TextSimilarity.hpp"
#include "QuorlAudio/foundation/StringUtils.hpp"

#include <algorithm>
#include <numeric>
#include <ranges>

namespace quorl::rescoring {
namespace {

constexpr float multiWordFloor = 0.55f;
// A next word this close to the term on its own is a word of its own, not the tail of a split term.
constexpr float standaloneSimilarity = 0.9f;
constexpr std::int64_t maxSpanLength = 4;

float bestPhraseSimilarity(std::string_view text, const std::vector<NormalizedForm>& forms) {
    float best = 0.0f;
    for (const auto& form : forms) {
        best = std::max(best, stringSimilarity(text, form.normalized));
    }
    return best;
}

} // namespace

RescoringPass::RescoringPass(const VocabularyRescorer& rescorer, const std::vector<WordTiming>& wordTimings,
                             const VocabularyRescorer::Scoring& scoring)
    : rescorer_(rescorer), words_(wordTimings), scoring_(scoring),
      vocabularyNormalizedSet_(buildVocabularyNormalizedSet(rescorer.vocabulary())) {
    for (const auto& word : words_) {
        normalizedWords_.push_back(normalizeForSimilarity(word.word));
    }
    const auto usable = [this](std::size_t k) { return k < words_.size() && !normalizedWords_[k].empty(); };
    for (std::size_t i = 0; i < words_.size(); ++i) {
        wordCharacters_.push_back(StringUtils::characters(normalizedWords_[i]));
        pairCharacters_.push_back(usable(i + 1) ? StringUtils::characters(normalizedWords_[i] + normalizedWords_[i + 1])
                                                : Characters{});
        tripleCharacters_.push_back(
            usable(i + 1) && usable(i + 2)
                ? StringUtils::characters(normalizedWords_[i] + normalizedWords_[i + 1] + normalizedWords_[i + 2])
                : Characters{});
    }
}

RescoreOutput RescoringPass::termCentric() {
    for (const auto& term : rescorer_.vocabulary().terms) {
        const auto values = termValues(term);
        if (!values) {
            continue;
        }
        if (!values->multiWordForms.empty()) {
            scanMultiWordSpans(*values);
        }
        if (!values->oneWordForms.empty()) {
            scanOneWordSpans(*values);
        }
    }
    const auto termCount = static_cast<std::int64_t>(rescorer_.vocabulary().terms.size());
    if (rescorer_.config().spotterRescueEnabled && termCount <= ContextBiasingConstants::largeVocabThreshold) {
        collectSpotterAnchoredCandidates(rescorer_, words_, scoring_, vocabularyNormalizedSet_, pending_);
    }
    return finalize();
}

RescoreOutput RescoringPass::wordCentric() {
    float searchFloor = scoring_.minSimilarity;
    for (const auto& term : rescorer_.vocabulary().terms) {
        searchFloor = std::min(searchFloor, term.minSimilarity().value_or(scoring_.minSimilarity));
    }
    for (std::size_t j = 0; j < words_.size(); ++j) {
        if (normalizedWords_[j].empty()) {
            continue;
        }
        std::vector<std::string> adjacent;
        for (std::size_t k = j + 1; k < std::min(words_.size(), j + maxSpanLength) && !normalizedWords_[k].empty();
             ++k) {
            adjacent.push_back(normalizedWords_[k]);
        }
        evaluateCandidates(
            j, rescorer_.findCandidateTermsForWord(normalizedWords_[j], adjacent, scoring_.minSimilarity, searchFloor));
    }
    return finalize();
}

void RescoringPass::evaluateCandidates(std::size_t j, const std::vector<CandidateMatch>& candidates) {
    for (const auto& candidate : candidates) {
        const auto values = termValues(candidate.term);
        if (!values) {
            continue;
        }
        const std::string normalized = normalizedPhrase(j, candidate.spanLength);
        if (normalized == values->normalizedTerm || readsAsOtherTerm(normalized, *values)) {
            continue;
        }
        if (accepts(j, candidate.spanLength, candidate.similarity, *values)) {
            evaluate(j, candidate.spanLength, candidate.similarity, *values);
        }
    }
}

std::optional<RescoringPass::TermValues> RescoringPass::termValues(const CustomVocabularyTerm& term) const {
    const auto& vocabulary = rescorer_.vocabulary();
    if (static_cast<std::int64_t>(characterCount(term.text())) < vocabulary.minTermLength) {
        return std::nullopt;
    }
    const auto* tokens = term.keywordTokens();
    if (tokens == nullptr) {
        return std::nullopt;
    }
    const auto forms = buildNormalizedForms(term, vocabulary);
    if (forms.empty()) {
        return std::nullopt;
    }
    TermValues values{.term = term,
                      .threshold = term.minSimilarity().value_or(scoring_.minSimilarity),
                      .tokens = *tokens,
                      .formSet = {},
                      .multiWordForms = {},
                      .oneWordForms = {},
                      .oneWordFormCharacters = {},
                      .normalizedTerm = normalizeForSimilarity(term.text())};
    for (const auto& form : forms) {
        values.formSet.insert(form.normalized);
        if (form.wordCount >= 2) {
            values.multiWordForms.push_back(form);
        } else {
            values.oneWordForms.push_back(form);
            values.oneWordFormCharacters.push_back(StringUtils::characters(form.normalized));
        }
    }
    return values;
}

void RescoringPass::scanMultiWordSpans(const TermValues& values) {
    const auto wordCounts = values.multiWordForms | std::views::transform(&NormalizedForm::wordCount);
    const std::int64_t shortest = std::max<std::int64_t>(2, std::ranges::min(wordCounts));
    const std::int64_t longest = std::min<std::int64_t>(maxSpanLength, std::ranges::max(wordCounts) + 1);
    const auto wordCount = static_cast<std::int64_t>(words_.size());
    for (std::int64_t length = shortest; length <= std::min(longest, wordCount); ++length) {
        for (std::int64_t s = 0; s <= wordCount - length; ++s) {
            const auto start = static_cast<std::size_t>(s);
            const std::string normalized = normalizedPhrase(start, length);
            if (normalized.empty() || normalized == values.normalizedTerm || readsAsOtherTerm(normalized, values)) {
                continue;
            }
            const float best = bestPhraseSimilarity(normalized, values.multiWordForms);
            if (best >= std::max(multiWordFloor, values.threshold)) {
                evaluate(start, length, best, values);
            }
        }
    }
}

void RescoringPass::scanOneWordSpans(const TermValues& values) {
    std::vector<float> alone;
    for (const auto& characters : wordCharacters_) {
        alone.push_back(bestSimilarity(characters, values));
    }
    for (std::size_t i = 0; i < words_.size(); ++i) {
        const std::string& word = normalizedWords_[i];
        if (word.empty() || word == values.normalizedTerm || readsAsOtherTerm(word, values)) {
            continue;
        }
        const auto [best, length] = bestOneWordMatch(i, values, alone);
        if (accepts(i, length, best, values)) {
            evaluate(i, length, best, values);
        }
    }
}

std::pair<float, std::int64_t> RescoringPass::bestOneWordMatch(std::size_t i, const TermValues& values,
                                                               const std::vector<float>& alone) const {
    float best = alone[i];
    std::int64_t length = 1;
    const auto standsAlone = [&alone](std::size_t k) { return alone[k] >= standaloneSimilarity; };
    const auto termLength = characterCount(values.term.text());
    const auto tryJoin = [&](const Characters& joined, std::int64_t span) {
        for (const auto& form : values.oneWordFormCharacters) {
            if (const float similarity = characterSimilarity(joined, form); similarity > best) {
                best = similarity;
                length = span;
            }
        }
    };
    if (!pairCharacters_[i].empty() && termLength >= 4 && !standsAlone(i + 1)) {
        tryJoin(pairCharacters_[i], 2);
    }
    if (!tripleCharacters_[i].empty() && termLength >= 8 && !standsAlone(i + 1) && !standsAlone(i + 2)) {
        tryJoin(tripleCharacters_[i], 3);
    }
    return {best, length};
}

float RescoringPass::bestSimilarity(const Characters& text, const TermValues& values) const {
    float best = 0.0f;
    for (const auto& form : values.oneWordFormCharacters) {
        best = std::max(best, characterSimilarity(text, form));
    }
    return best;
}

bool RescoringPass::accepts(std::size_t i, std::int64_t length, float similarity, const TermValues& values) const {
    float threshold = values.threshold;
    if (length > 1 && threshold <= multiWordFloor) {
        threshold = multiWordFloor;
    }
    const auto first = normalizedWords_.begin() + static_cast<std::ptrdiff_t>(i);
    const std::vector<std::string> spanWords(first, first + length);
    if (length == 1) {
        threshold = VocabularyRescorer::checkLengthRatioRules(normalizedWords_[i], values.term.text(), threshold);
    }
    const auto decision = VocabularyRescorer::checkStopwordRules(normalizedWords_[i], length, spanWords, threshold);
    return !decision.shouldSkip && similarity >= decision.adjustedMinSimilarity;
}

bool RescoringPass::readsAsOtherTerm(const std::string& normalized, const TermValues& values) const {
    return vocabularyNormalizedSet_.contains(normalized) && !values.formSet.contains(normalized);
}

void RescoringPass::evaluate(std::size_t i, std::int64_t length, float similarity, const TermValues& values) {
    std::vector<std::int64_t> spanIndices(static_cast<std::size_t>(length));
    std::iota(spanIndices.begin(), spanIndices.end(), static_cast<std::int64_t>(i));
    CTCMatchCandidate candidate{.originalPhrase = phrase(i, length),
                                .vocabTerm = values.term.text(),
                                .vocabTokens = values.tokens,
                                .similarity = similarity,
                                .spanLength = length,
                                .spanIndices = std::move(spanIndices),
                                .spanStartTime = words_[i].startTime,
                                .spanEndTime = words_[i + static_cast<std::size_t>(length) - 1].endTime};
    auto result = rescorer_.evaluateCTCMatch(candidate, scoring_);
    if (result.shouldReplace) {
        pending_.push_back({.candidate = std::move(candidate), .result = std::move(result), .similarity = similarity});
    }
}

std::string RescoringPass::phrase(std::size_t i, std::int64_t length) const {
    std::string text = words_[i].word;
    for (std::size_t k = i + 1; k < i + static_cast<std::size_t>(length); ++k) {
        text += ' ' + words_[k].word;
    }
    return text;
}

std::string RescoringPass::normalizedPhrase(std::size_t i, std::int64_t length) const {
    if (length == 1) {
        return normalizedWords_[i];
    }
    return normalizeForSimilarity(phrase(i, length));
}

RescoreOutput RescoringPass::finalize() { return finalizeReplacements(std::move(pending_), words_); }

} // namespace quorl::rescoring
