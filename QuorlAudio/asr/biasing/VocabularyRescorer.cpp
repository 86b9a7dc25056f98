#include "QuorlAudio/asr/biasing/VocabularyRescorer.hpp"

#include "QuorlAudio/asr/biasing/ContextBiasingConstants.hpp"
#include "QuorlAudio/asr/biasing/RescoringPass.hpp"
#include "QuorlAudio/asr/biasing/TextSimilarity.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/text/TextPieces.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <span>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;

constexpr std::string_view wordBoundary = ASRConstants::sentencePieceWordBoundary;
constexpr std::size_t minThreeWordCompoundLength = 6;
constexpr std::size_t minRadiusLength = 3;
constexpr float negativeInfinity = -std::numeric_limits<float>::infinity();

// Similarity of a compound, lowered by how much its length differs from the key's.
float compoundSimilarity(const std::string& compound, std::string_view key) {
    const auto a = static_cast<float>(characterCount(compound));
    const auto b = static_cast<float>(characterCount(key));
    return stringSimilarity(compound, key) * std::sqrt(std::min(a, b) / std::max(a, b));
}

std::string phraseOf(std::string_view word, const std::vector<std::string>& adjacent, std::size_t count) {
    std::string phrase(word);
    for (std::size_t k = 0; k < count; ++k) {
        phrase += ' ' + adjacent[k];
    }
    return phrase;
}

float thresholdOf(const CustomVocabularyTerm& term, float minSimilarity) {
    return term.minSimilarity().value_or(minSimilarity);
}

// A frame index of the seconds, or nothing when it cannot be represented with room for the margin.
std::optional<std::int64_t> frameIndex(double seconds, double frameDuration) {
    constexpr double limit = 4.0e18;
    const double frames = std::trunc(seconds / frameDuration);
    if (!std::isfinite(frames) || std::abs(frames) > limit) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(frames);
}

VocabularyRescorer::CTCMatchResult keeping(const VocabularyRescorer::CTCMatchCandidate& candidate,
                                           float boostedVocabScore, std::string reason) {
    return {.shouldReplace = false,
            .originalScore = negativeInfinity,
            .boostedVocabScore = boostedVocabScore,
            .replacement = candidate.vocabTerm,
            .reason = std::move(reason)};
}

std::string firstWordOf(std::string_view phrase) {
    const auto pieces = platform::text::splitDroppingEmpty(phrase, ' ');
    return std::string(pieces.empty() ? phrase : pieces.front());
}

} // namespace

VocabularyRescorer::VocabularyRescorer(Fields fields) : fields_(std::move(fields)) {}

VocabularyRescorer VocabularyRescorer::create(CtcKeywordSpotter spotter, CustomVocabularyContext vocabulary,
                                              Config config,
                                              const std::optional<std::filesystem::path>& ctcModelDirectory) {
    const auto directory = ctcModelDirectory ? *ctcModelDirectory : CtcTokenizer::getCtcModelDirectory();
    return VocabularyRescorer(Fields{.spotter = std::move(spotter),
                                     .vocabulary = std::move(vocabulary),
                                     .ctcTokenizer = CtcTokenizer::load(directory),
                                     .useBKTree = ContextBiasingConstants::useBkTree,
                                     .bkTree = std::nullopt,
                                     .bkTreeMaxDistance = ContextBiasingConstants::bkTreeMaxDistance,
                                     .config = config});
}

std::vector<VocabularyRescorer::WordTiming>
VocabularyRescorer::buildWordTimings(const std::vector<TokenTiming>& tokenTimings) {
    std::vector<WordTiming> words;
    WordTiming current;
    const auto flush = [&words, &current] {
        const std::string_view trimmed = platform::text::trimmingBlanks(current.word);
        if (!trimmed.empty()) {
            words.push_back({.word = std::string(trimmed), .startTime = current.startTime, .endTime = current.endTime});
        }
    };
    for (const auto& timing : tokenTimings) {
        const std::string_view token = timing.token;
        if (token.empty() || token == "<blank>" || token == "<pad>") {
            continue;
        }
        const bool opensWord = token.starts_with(wordBoundary) || token.starts_with(' ');
        if (opensWord || current.word.empty()) {
            flush();
            const std::size_t mark = token.starts_with(wordBoundary) ? wordBoundary.size() : token.starts_with(' ');
            current = {
                .word = std::string(token.substr(mark)), .startTime = timing.startTime, .endTime = timing.endTime};
        } else {
            current.word += token;
            current.endTime = timing.endTime;
        }
    }
    flush();
    return words;
}

VocabularyRescorer::RescoreOutput VocabularyRescorer::ctcTokenRescore(std::string_view transcript,
                                                                      const std::vector<TokenTiming>& tokenTimings,
                                                                      const Scoring& scoring) const {
    const auto wordTimings = buildWordTimings(tokenTimings);
    return useBKTree() ? rescoreWithConstrainedCTCWordCentric(transcript, wordTimings, scoring)
                       : rescoreWithConstrainedCTCTermCentric(transcript, wordTimings, scoring);
}

VocabularyRescorer::RescoreOutput VocabularyRescorer::rescoreWithConstrainedCTCTermCentric(
    std::string_view transcript, const std::vector<WordTiming>& wordTimings, const Scoring& scoring) const {
    if (wordTimings.empty() || scoring.logProbs.empty()) {
        return {.text = std::string(transcript), .replacements = {}, .wasModified = false};
    }
    return rescoring::RescoringPass(*this, wordTimings, scoring).termCentric();
}

VocabularyRescorer::RescoreOutput VocabularyRescorer::rescoreWithConstrainedCTCWordCentric(
    std::string_view transcript, const std::vector<WordTiming>& wordTimings, const Scoring& scoring) const {
    if (wordTimings.empty() || scoring.logProbs.empty()) {
        return {.text = std::string(transcript), .replacements = {}, .wasModified = false};
    }
    return rescoring::RescoringPass(*this, wordTimings, scoring).wordCentric();
}

std::vector<VocabularyRescorer::CandidateMatch>
VocabularyRescorer::findCandidateTermsForWord(std::string_view normalizedWord,
                                              const std::vector<std::string>& adjacentNormalized, float minSimilarity,
                                              std::optional<float> searchFloor) const {
    if (normalizedWord.empty()) {
        return {};
    }
    auto candidates = useBKTree() && bkTree()
                          ? searchTree(normalizedWord, adjacentNormalized, minSimilarity, searchFloor)
                          : scanVocabulary(normalizedWord, adjacentNormalized, minSimilarity);
    std::ranges::stable_sort(candidates, [](const CandidateMatch& a, const CandidateMatch& b) {
        return a.similarity != b.similarity ? a.similarity > b.similarity : a.spanLength > b.spanLength;
    });
    return candidates;
}

std::vector<VocabularyRescorer::CandidateMatch>
VocabularyRescorer::scanVocabulary(std::string_view word, const std::vector<std::string>& adjacent,
                                   float minSimilarity) const {
    std::vector<CandidateMatch> candidates;
    const auto add = [&candidates](const CustomVocabularyTerm& term, float similarity, float threshold,
                                   std::int64_t span) {
        if (similarity >= threshold) {
            candidates.push_back({.term = term, .similarity = similarity, .spanLength = span});
        }
    };
    for (const auto& term : vocabulary().terms) {
        const std::string n = normalizeForSimilarity(term.text());
        if (n.empty()) {
            continue;
        }
        const float t = thresholdOf(term, minSimilarity);
        if (n.find(' ') == std::string::npos) {
            add(term, stringSimilarity(word, n), t, 1);
            if (!adjacent.empty() && !adjacent[0].empty()) {
                add(term, compoundSimilarity(std::string(word) + adjacent[0], n), t, 2);
            }
            if (adjacent.size() >= 2 && !adjacent[0].empty() && !adjacent[1].empty()) {
                const std::string c3 = std::string(word) + adjacent[0] + adjacent[1];
                if (characterCount(c3) >= minThreeWordCompoundLength) {
                    add(term, compoundSimilarity(c3, n), t, 3);
                }
            }
            continue;
        }
        for (std::size_t k = 1; k <= std::min<std::size_t>(3, adjacent.size()); ++k) {
            add(term, stringSimilarity(phraseOf(word, adjacent, k), n), t, static_cast<std::int64_t>(k) + 1);
        }
    }
    return candidates;
}

std::vector<VocabularyRescorer::CandidateMatch> VocabularyRescorer::searchTree(std::string_view word,
                                                                               const std::vector<std::string>& adjacent,
                                                                               float minSimilarity,
                                                                               std::optional<float> searchFloor) const {
    const float m = std::min(minSimilarity, searchFloor.value_or(minSimilarity));
    const auto radius = [m](std::size_t length, std::int64_t bound) {
        return std::min(bound, static_cast<std::int64_t>((1.0f - m) * static_cast<float>(length)));
    };
    std::vector<CandidateMatch> candidates;
    const auto search = [&](const std::string& query, std::int64_t maxDistance, std::int64_t span, bool lengthFactor) {
        for (const auto& result : bkTree()->search(query, maxDistance)) {
            const float similarity = lengthFactor ? compoundSimilarity(query, result.normalizedText)
                                                  : stringSimilarity(query, result.normalizedText);
            if (similarity >= thresholdOf(result.term, minSimilarity)) {
                candidates.push_back({.term = result.term, .similarity = similarity, .spanLength = span});
            }
        }
    };
    const std::string w(word);
    search(w, radius(std::max(characterCount(w), minRadiusLength), bkTreeMaxDistance()), 1, false);
    if (adjacent.empty()) {
        return candidates;
    }
    if (!adjacent[0].empty()) {
        const std::string c2 = w + adjacent[0];
        search(c2, radius(std::max(characterCount(c2), minRadiusLength), bkTreeMaxDistance()), 2, true);
    }
    if (adjacent.size() >= 2 && !adjacent[0].empty() && !adjacent[1].empty()) {
        const std::string c3 = w + adjacent[0] + adjacent[1];
        if (characterCount(c3) >= minThreeWordCompoundLength) {
            search(c3, radius(characterCount(c3), bkTreeMaxDistance()), 3, true);
        }
    }
    for (std::size_t k = 1; k <= std::min<std::size_t>(3, adjacent.size()); ++k) {
        const std::string phrase = phraseOf(word, adjacent, k);
        search(phrase, radius(std::max(characterCount(phrase), minRadiusLength), bkTreeMaxDistance() + 1),
               static_cast<std::int64_t>(k) + 1, false);
    }
    return candidates;
}

float VocabularyRescorer::constrainedScore(const std::vector<std::int64_t>& tokens, std::int64_t start,
                                           std::int64_t end, const Scoring& scoring) const {
    return spotter().ctcWordSpotConstrained(scoring.logProbs, tokens, start, end).score;
}

VocabularyRescorer::CTCMatchResult VocabularyRescorer::evaluateCTCMatch(const CTCMatchCandidate& candidate,
                                                                        const Scoring& scoring) const {
    const double frameDuration = scoring.frameDuration;
    if (!std::isfinite(frameDuration) || frameDuration <= 0.0) {
        return keeping(candidate, negativeInfinity, "Invalid frame timing");
    }
    const auto marginFrames = frameIndex(scoring.marginSeconds, frameDuration);
    const auto startRaw = frameIndex(candidate.spanStartTime, frameDuration);
    const auto endRaw = frameIndex(candidate.spanEndTime, frameDuration);
    if (!marginFrames || !startRaw || !endRaw) {
        return keeping(candidate, negativeInfinity, "Invalid frame timing");
    }
    const std::int64_t start = std::max<std::int64_t>(0, *startRaw - *marginFrames);
    const std::int64_t end = std::min(*endRaw + *marginFrames, static_cast<std::int64_t>(scoring.logProbs.size()));

    const float vocabScore = constrainedScore(candidate.vocabTokens, start, end, scoring);
    if (!ctcTokenizer()) {
        return keeping(candidate, vocabScore, "No tokenizer available");
    }
    std::vector<std::int64_t> tokens = candidate.vocabTokens;
    float score = vocabScore;
    if (auto unbounded = ctcTokenizer()->encodeWithoutBoundary(candidate.vocabTerm);
        !unbounded.empty() && unbounded != candidate.vocabTokens) {
        if (const float unboundedScore = constrainedScore(unbounded, start, end, scoring); unboundedScore > score) {
            tokens = std::move(unbounded);
            score = unboundedScore;
        }
    }
    const auto original = ctcTokenizer()->encode(candidate.originalPhrase);
    if (original.empty()) {
        return keeping(candidate, score, "Empty tokens for original phrase");
    }
    const float originalScore = constrainedScore(original, start, end, scoring);
    const float boosted = score + config().adaptiveCbw(scoring.cbw, static_cast<std::int64_t>(tokens.size()));
    const std::string_view label = candidate.spanLength >= 2 ? "CTC-vs-CTC (multi-word)" : "CTC-vs-CTC";
    return {.shouldReplace = originalScore < boosted,
            .originalScore = originalScore,
            .boostedVocabScore = boosted,
            .replacement = preserveCapitalization(firstWordOf(candidate.originalPhrase), candidate.vocabTerm),
            .reason = concatenated({label, ": '", candidate.vocabTerm, "'=", fixedDecimalText(boosted, 2), " > '",
                                    candidate.originalPhrase, "'=", fixedDecimalText(originalScore, 2)})};
}

float VocabularyRescorer::checkLengthRatioRules(std::string_view normalizedWord, std::string_view vocabTerm,
                                                float minSimilarity) {
    const auto wordLength = characterCount(normalizedWord);
    const float ratio = static_cast<float>(wordLength) / static_cast<float>(characterCount(vocabTerm));
    if (ratio < ContextBiasingConstants::lengthRatioThreshold &&
        static_cast<std::int64_t>(wordLength) <= ContextBiasingConstants::shortWordMaxLength) {
        return std::max(minSimilarity, ContextBiasingConstants::shortWordSimilarity);
    }
    return minSimilarity;
}

VocabularyRescorer::StopwordDecision VocabularyRescorer::checkStopwordRules(std::string_view normalizedWord,
                                                                            std::int64_t spanLength,
                                                                            const std::vector<std::string>& spanWords,
                                                                            float currentSimilarity) {
    if (spanLength == 1) {
        return {.shouldSkip = stopwords().contains(std::string(normalizedWord)),
                .adjustedMinSimilarity = currentSimilarity};
    }
    const bool holdsFunctionWord =
        std::ranges::any_of(spanWords, [](const std::string& word) { return multiWordStopwords().contains(word); });
    return {.shouldSkip = false,
            .adjustedMinSimilarity = holdsFunctionWord
                                         ? std::max(currentSimilarity, ContextBiasingConstants::stopwordSpanSimilarity)
                                         : currentSimilarity};
}

namespace {

// Articles, conjunctions, prepositions and auxiliaries; then pronouns and question words.
constexpr std::string_view functionWords[] = {
    "a",    "an",   "the",   "some",  "any", "no",    "every", "each",  "all",   "and",    "or",      "but",
    "so",   "if",   "then",  "than",  "as",  "in",    "on",    "at",    "to",    "for",    "of",      "with",
    "by",   "from", "up",    "down",  "out", "about", "into",  "over",  "after", "before", "between", "under",
    "is",   "are",  "was",   "were",  "be",  "been",  "being", "am",    "have",  "has",    "had",     "do",
    "does", "did",  "will",  "would", "can", "could", "i",     "you",   "he",    "she",    "it",      "we",
    "they", "me",   "him",   "her",   "us",  "them",  "my",    "your",  "his",   "its",    "our",     "their",
    "this", "that", "these", "those", "who", "what",  "which", "where", "when",  "how",    "why"};

// Common verbs, adverbs and adjectives: stop words alone, but ordinary words inside a longer span.
constexpr std::string_view commonContentWords[] = {
    "go",   "goes",  "went", "come", "comes", "came",  "get",     "got",  "take", "took", "make",  "made",  "say",
    "said", "see",   "saw",  "know", "knew",  "think", "thought", "just", "also", "only", "even",  "still", "now",
    "here", "there", "very", "well", "back",  "way",   "own",     "new",  "old",  "good", "great", "first", "last"};

std::unordered_set<std::string> wordSet(std::initializer_list<std::span<const std::string_view>> groups) {
    std::unordered_set<std::string> words;
    for (const auto group : groups) {
        for (const auto word : group) {
            words.emplace(word);
        }
    }
    return words;
}

} // namespace

const std::unordered_set<std::string>& VocabularyRescorer::stopwords() {
    static const std::unordered_set<std::string> words = wordSet({functionWords, commonContentWords});
    return words;
}

const std::unordered_set<std::string>& VocabularyRescorer::multiWordStopwords() {
    static const std::unordered_set<std::string> words = wordSet({functionWords});
    return words;
}

} // namespace quorl
