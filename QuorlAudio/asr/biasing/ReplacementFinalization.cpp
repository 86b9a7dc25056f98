#include "QuorlAudio/asr/biasing/ReplacementFinalization.hpp"

#include "platform/text/CharacterCategory.hpp"
#include "platform/text/TextPieces.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <string_view>

namespace quorl::rescoring {
namespace {

long bucketOf(float similarity) { return std::lround(similarity / 0.05f); }

bool isPreferred(const PendingReplacement& a, const PendingReplacement& b) {
    const long bucketA = bucketOf(a.similarity);
    const long bucketB = bucketOf(b.similarity);
    if (bucketA != bucketB) {
        return bucketA > bucketB;
    }
    if (a.candidate.spanLength == b.candidate.spanLength) {
        return a.similarity > b.similarity;
    }
    return a.candidate.spanLength < b.candidate.spanLength;
}

// The punctuation that opens the word ("(" of "(netties") and the punctuation that closes it ("." of
// "netties."), so that a replacement keeps the sentence around it. A word of punctuation alone only closes.
std::string leadingPunctuation(std::string_view word) {
    const std::u32string scalars = platform::text::decodeScalars(word);
    const auto end = std::ranges::find_if_not(scalars, platform::text::isPunctuation);
    return end == scalars.end() ? std::string() : platform::text::encodeScalars({scalars.begin(), end});
}

std::string trailingPunctuation(std::string_view word) {
    const std::u32string scalars = platform::text::decodeScalars(word);
    const auto start = std::find_if_not(scalars.rbegin(), scalars.rend(), platform::text::isPunctuation).base();
    return start == scalars.begin() ? std::string() : platform::text::encodeScalars({start, scalars.end()});
}

std::string withSurroundingPunctuation(const std::string& replacement, std::string_view firstWord,
                                       std::string_view lastWord) {
    const std::string opening = leadingPunctuation(firstWord);
    const std::string closing = trailingPunctuation(lastWord);
    const bool hasOpening = std::string_view(replacement).starts_with(opening);
    const bool hasClosing = std::string_view(replacement).ends_with(closing);
    return (hasOpening ? "" : opening) + replacement + (hasClosing ? "" : closing);
}

bool touchesReplaced(const std::vector<std::int64_t>& span, const std::set<std::int64_t>& replacedIndices) {
    return std::ranges::any_of(span, [&](std::int64_t index) { return replacedIndices.contains(index); });
}

std::string textOf(const std::vector<WordTiming>& words) {
    std::vector<std::string> kept;
    for (const auto& word : words) {
        if (!word.word.empty()) {
            kept.push_back(word.word);
        }
    }
    return platform::text::joined(kept, " ");
}

} // namespace

RescoreOutput finalizeReplacements(std::vector<PendingReplacement> pendingReplacements,
                                   std::vector<WordTiming> modifiedWords) {
    std::ranges::stable_sort(pendingReplacements, isPreferred);
    std::set<std::int64_t> replacedIndices;
    std::vector<RescoringResult> replacements;
    for (const auto& pending : pendingReplacements) {
        const auto& span = pending.candidate.spanIndices;
        if (span.empty() || touchesReplaced(span, replacedIndices)) {
            continue;
        }
        auto& first = modifiedWords[static_cast<std::size_t>(span.front())];
        const std::string lastWord = modifiedWords[static_cast<std::size_t>(span.back())].word;
        first.word = withSurroundingPunctuation(pending.result.replacement, first.word, lastWord);
        for (std::size_t i = 1; i < span.size(); ++i) {
            modifiedWords[static_cast<std::size_t>(span[i])].word.clear();
        }
        replacedIndices.insert(span.begin(), span.end());
        replacements.push_back({.originalWord = pending.candidate.originalPhrase,
                                .originalScore = pending.result.originalScore,
                                .replacementWord = pending.result.replacement,
                                .replacementScore = pending.result.boostedVocabScore,
                                .shouldReplace = true,
                                .reason = pending.result.reason});
    }
    const bool wasModified = !replacements.empty();
    return {.text = textOf(modifiedWords), .replacements = std::move(replacements), .wasModified = wasModified};
}

} // namespace quorl::rescoring
