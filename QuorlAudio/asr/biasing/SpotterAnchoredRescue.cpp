#include "QuorlAudio/asr/biasing/SpotterAnchoredRescue.hpp"

#include "QuorlAudio/asr/biasing/NormalizedForm.hpp"
#include "QuorlAudio/asr/biasing/TextSimilarity.hpp"

#include <algorithm>
#include <cmath>
#include <set>

namespace quorl::rescoring {
namespace {

// Detections below this score are too weak to anchor a rescue.
constexpr float rescueMinScore = -10.0f;
constexpr std::size_t maxRescueWords = 4;

std::int64_t nearestWord(const std::vector<WordTiming>& wordTimings, double start, double end) {
    const double middle = (start + end) / 2.0;
    std::int64_t nearest = 0;
    double nearestDistance = INFINITY;
    for (std::size_t i = 0; i < wordTimings.size(); ++i) {
        const double distance = std::abs((wordTimings[i].startTime + wordTimings[i].endTime) / 2.0 - middle);
        if (distance < nearestDistance) {
            nearest = static_cast<std::int64_t>(i);
            nearestDistance = distance;
        }
    }
    return nearest;
}

std::vector<std::int64_t> firstRun(const std::vector<std::int64_t>& indices) {
    std::vector<std::int64_t> run{indices.front()};
    for (std::size_t k = 1; k < indices.size() && indices[k] == run.back() + 1; ++k) {
        run.push_back(indices[k]);
    }
    return run;
}

// The words under one detection, and what the rescue needs to know of them.
struct Span {
    std::vector<std::int64_t> indices;
    std::string phrase;
    std::vector<std::string> normalizedWords;
};

Span spanOf(const std::vector<WordTiming>& wordTimings, std::vector<std::int64_t> indices) {
    Span span{.indices = std::move(indices), .phrase = {}, .normalizedWords = {}};
    for (const auto index : span.indices) {
        const auto& word = wordTimings[static_cast<std::size_t>(index)].word;
        span.phrase += (span.phrase.empty() ? "" : " ") + word;
        span.normalizedWords.push_back(normalizeForSimilarity(word));
    }
    return span;
}

bool allStopwords(const std::vector<std::string>& words) {
    return std::ranges::all_of(words,
                               [](const std::string& word) { return VocabularyRescorer::stopwords().contains(word); });
}

float floorOf(const VocabularyRescorer& rescorer, const CustomVocabularyTerm& term, std::size_t wordCount) {
    const auto& config = rescorer.config();
    const float floor = wordCount == 1 ? config.spotterRescueMinSimilarity : config.spotterRescueMultiWordMinSimilarity;
    return std::max(floor, term.minSimilarity().value_or(floor));
}

} // namespace

std::vector<std::int64_t> wordIndices(const std::vector<WordTiming>& wordTimings, double start, double end) {
    if (wordTimings.empty() || !(start < end)) {
        return {};
    }
    std::vector<std::int64_t> overlapping;
    for (std::size_t i = 0; i < wordTimings.size(); ++i) {
        if (wordTimings[i].endTime < start) {
            continue;
        }
        if (wordTimings[i].startTime > end) {
            break;
        }
        overlapping.push_back(static_cast<std::int64_t>(i));
    }
    return overlapping.empty() ? std::vector<std::int64_t>{nearestWord(wordTimings, start, end)}
                               : firstRun(overlapping);
}

void collectSpotterAnchoredCandidates(const VocabularyRescorer& rescorer, const std::vector<WordTiming>& wordTimings,
                                      const VocabularyRescorer::Scoring& scoring,
                                      const std::unordered_set<std::string>& vocabularyNormalizedSet,
                                      std::vector<PendingReplacement>& pendingReplacements) {
    const auto& vocabulary = rescorer.vocabulary();
    auto detections = rescorer.spotter()
                          .spotKeywordsFromLogProbs(scoring.logProbs, scoring.frameDuration, vocabulary, rescueMinScore)
                          .detections;
    std::ranges::stable_sort(detections, [](const auto& a, const auto& b) { return a.score > b.score; });
    std::set<std::string> seen;
    for (const auto& detection : detections) {
        const auto& term = detection.term;
        if (static_cast<std::int64_t>(characterCount(term.text())) < vocabulary.minTermLength) {
            continue;
        }
        auto indices = wordIndices(wordTimings, detection.startTime, detection.endTime);
        if (indices.empty() || indices.size() > maxRescueWords ||
            !seen.insert(term.textLowercased() + ":" + std::to_string(indices.front()) + ":" +
                         std::to_string(indices.size()))
                 .second) {
            continue;
        }
        const Span span = spanOf(wordTimings, std::move(indices));
        const std::string normalized = normalizeForSimilarity(span.phrase);
        const auto forms = buildNormalizedForms(term, vocabulary);
        const bool isForm = std::ranges::any_of(forms, [&](const auto& form) { return form.normalized == normalized; });
        const bool readsAsOtherTerm = vocabularyNormalizedSet.contains(normalized) && !isForm;
        const auto* tokens = term.keywordTokens();
        if (readsAsOtherTerm || normalized == normalizeForSimilarity(term.text()) || isForm || tokens == nullptr ||
            allStopwords(span.normalizedWords)) {
            continue;
        }
        float similarity = 0.0f;
        for (const auto& form : forms) {
            similarity = std::max(similarity, stringSimilarity(normalized, form.normalized));
        }
        if (similarity < floorOf(rescorer, term, span.indices.size())) {
            continue;
        }
        CTCMatchCandidate candidate{.originalPhrase = span.phrase,
                                    .vocabTerm = term.text(),
                                    .vocabTokens = *tokens,
                                    .similarity = similarity,
                                    .spanLength = static_cast<std::int64_t>(span.indices.size()),
                                    .spanIndices = span.indices,
                                    .spanStartTime =
                                        wordTimings[static_cast<std::size_t>(span.indices.front())].startTime,
                                    .spanEndTime = wordTimings[static_cast<std::size_t>(span.indices.back())].endTime};
        auto result = rescorer.evaluateCTCMatch(candidate, scoring);
        if (result.shouldReplace) {
            pendingReplacements.push_back(
                {.candidate = std::move(candidate), .result = std::move(result), .similarity = similarity});
        }
    }
}

} // namespace quorl::rescoring
