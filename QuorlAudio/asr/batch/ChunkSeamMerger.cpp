#include "QuorlAudio/asr/batch/ChunkSeamMerger.hpp"

#include "QuorlAudio/asr/batch/SequenceMatcher.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/CharacterCategory.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using Tokens = std::vector<DecodedToken>;

double startSeconds(const DecodedToken& token) { return token.timestamp * ASRConstants::secondsPerEncoderFrame; }

// For merging every token lasts one encoder frame, whatever its decoded duration.
double endSeconds(const DecodedToken& token) { return startSeconds(token) + ASRConstants::secondsPerEncoderFrame; }

bool isSpliceSafe(const DecodedToken& token, const ChunkSeamMerger::SpliceSafeIds& safeIds) {
    return safeIds.contains(token.token);
}

void appendRange(Tokens& merged, const Tokens& tokens, std::size_t from, std::size_t to) {
    if (from < to) {
        merged.insert(merged.end(), tokens.begin() + static_cast<std::ptrdiff_t>(from),
                      tokens.begin() + static_cast<std::ptrdiff_t>(to));
    }
}

void appendFrom(Tokens& merged, const Tokens& tokens, std::size_t from) {
    appendRange(merged, tokens, from, tokens.size());
}

bool sameOrCaseVariant(int first, int second, const std::optional<ChunkSeamMerger::CaseVariantIds>& caseVariantIds) {
    if (first == second) {
        return true;
    }
    if (!caseVariantIds) {
        return false;
    }
    const auto firstClass = caseVariantIds->find(first);
    const auto secondClass = caseVariantIds->find(second);
    return firstClass != caseVariantIds->end() && secondClass != caseVariantIds->end() &&
           firstClass->second == secondClass->second;
}

// The first position at or after `from` whose token is splice-safe.
std::optional<std::size_t> firstSpliceSafe(const Tokens& tokens, std::size_t from,
                                           const ChunkSeamMerger::SpliceSafeIds& safeIds) {
    for (std::size_t position = from; position < tokens.size(); ++position) {
        if (isSpliceSafe(tokens[position], safeIds)) {
            return position;
        }
    }
    return std::nullopt;
}

// The first position whose token starts at or after `cut`; the count when none does.
std::size_t firstStartingAt(const Tokens& tokens, double cut) {
    const auto found =
        std::ranges::find_if(tokens, [&](const DecodedToken& token) { return startSeconds(token) >= cut; });
    return static_cast<std::size_t>(std::distance(tokens.begin(), found));
}

// Without an alignment: cut both chunks halfway through their overlap, keeping on the left the rest of the word
// open at the cut and beginning the right side with a new word.
Tokens mergeAtMidpoint(const Tokens& left, const Tokens& right, double leftEnd, double rightStart,
                       const std::optional<ChunkSeamMerger::SpliceSafeIds>& safeIds) {
    const double cut = (leftEnd + rightStart) / 2;
    std::size_t leftCount = firstStartingAt(left, cut);
    std::size_t rightFrom = firstStartingAt(right, cut);
    if (safeIds) {
        if (leftCount > 0 && leftCount < left.size()) {
            leftCount = firstSpliceSafe(left, leftCount, *safeIds).value_or(left.size());
        }
        rightFrom = firstSpliceSafe(right, rightFrom, *safeIds).value_or(rightFrom);
    }
    Tokens merged;
    appendRange(merged, left, 0, leftCount);
    appendFrom(merged, right, rightFrom);
    return merged;
}

// The longest diagonal run of matching pairs; the first found wins among equally long ones.
template <class Indexed, class Matcher>
std::vector<SequenceMatch> longestMatchingRun(const std::vector<Indexed>& overlapLeft,
                                              const std::vector<Indexed>& overlapRight, Matcher matches) {
    const int leftCount = static_cast<int>(overlapLeft.size());
    const int rightCount = static_cast<int>(overlapRight.size());
    SequenceMatch best{.leftStartIndex = 0, .rightStartIndex = 0, .length = 0};
    for (int leftStart = 0; leftStart < leftCount; ++leftStart) {
        for (int rightStart = 0; rightStart < rightCount; ++rightStart) {
            int length = 0;
            while (leftStart + length < leftCount && rightStart + length < rightCount &&
                   matches(overlapLeft[leftStart + length], overlapRight[rightStart + length])) {
                ++length;
            }
            if (length > best.length) {
                best = SequenceMatch{.leftStartIndex = leftStart, .rightStartIndex = rightStart, .length = length};
            }
        }
    }
    std::vector<SequenceMatch> pairs;
    for (int offset = 0; offset < best.length; ++offset) {
        pairs.push_back(SequenceMatch{.leftStartIndex = best.leftStartIndex + offset,
                                      .rightStartIndex = best.rightStartIndex + offset,
                                      .length = 1});
    }
    return pairs;
}

} // namespace

std::vector<DecodedToken> ChunkSeamMerger::mergeChunks(const std::vector<DecodedToken>& left,
                                                       const std::vector<DecodedToken>& right,
                                                       const std::optional<SpliceSafeIds>& spliceSafeTokenIds,
                                                       const std::optional<CaseVariantIds>& caseVariantIds) const {
    if (left.empty()) {
        return right;
    }
    if (right.empty()) {
        return left;
    }
    const double leftEnd = endSeconds(left.back());
    const double rightStart = startSeconds(right.front());
    if (leftEnd <= rightStart) {
        Tokens merged = left;
        appendFrom(merged, right, 0);
        return merged;
    }
    const auto overlapTokens = [](const Tokens& tokens, auto inOverlap) {
        std::vector<IndexedToken> overlap;
        for (std::size_t position = 0; position < tokens.size(); ++position) {
            const IndexedToken indexed{.index = static_cast<int>(position),
                                       .token = tokens[position],
                                       .start = startSeconds(tokens[position]),
                                       .end = endSeconds(tokens[position])};
            if (inOverlap(indexed)) {
                overlap.push_back(indexed);
            }
        }
        return overlap;
    };
    const auto overlapLeft =
        overlapTokens(left, [&](const IndexedToken& token) { return token.end > rightStart - overlapSeconds; });
    const auto overlapRight =
        overlapTokens(right, [&](const IndexedToken& token) { return token.start < leftEnd + overlapSeconds; });
    if (overlapLeft.size() < 2 || overlapRight.size() < 2) {
        return mergeAtMidpoint(left, right, leftEnd, rightStart, spliceSafeTokenIds);
    }
    const auto matches = [&](const IndexedToken& leftToken, const IndexedToken& rightToken) {
        return tokensMatch(leftToken, rightToken, caseVariantIds);
    };
    const auto run = longestMatchingRun(overlapLeft, overlapRight, matches);
    const std::size_t required = overlapLeft.size() >= 4 ? overlapLeft.size() / 2 : 1;
    if (run.size() >= required) {
        return mergeUsingMatches(run, overlapLeft, overlapRight, left, right, spliceSafeTokenIds);
    }
    const auto common = SequenceMatcher::findLongestCommonSubsequence(overlapLeft, overlapRight, matches);
    if (common.empty()) {
        return mergeAtMidpoint(left, right, leftEnd, rightStart, spliceSafeTokenIds);
    }
    return mergeUsingMatches(common, overlapLeft, overlapRight, left, right, spliceSafeTokenIds);
}

bool ChunkSeamMerger::tokensMatch(const IndexedToken& left, const IndexedToken& right,
                                  const std::optional<CaseVariantIds>& caseVariantIds) const {
    // Two decodings of one word lie close together in time; the same token further apart is another occurrence.
    return sameOrCaseVariant(left.token.token, right.token.token, caseVariantIds) &&
           std::abs(left.start - right.start) < overlapSeconds / 2;
}

std::vector<DecodedToken> ChunkSeamMerger::mergeUsingMatches(const std::vector<SequenceMatch>& matches,
                                                             const std::vector<IndexedToken>& overlapLeft,
                                                             const std::vector<IndexedToken>& overlapRight,
                                                             const std::vector<DecodedToken>& left,
                                                             const std::vector<DecodedToken>& right,
                                                             const std::optional<SpliceSafeIds>& spliceSafeTokenIds) {
    if (matches.empty()) {
        return {};
    }
    const auto leftPosition = [&](std::size_t pair) {
        return static_cast<std::size_t>(overlapLeft[static_cast<std::size_t>(matches[pair].leftStartIndex)].index);
    };
    const auto rightPosition = [&](std::size_t pair) {
        return static_cast<std::size_t>(overlapRight[static_cast<std::size_t>(matches[pair].rightStartIndex)].index);
    };
    Tokens merged;
    appendRange(merged, left, 0, leftPosition(0));
    for (std::size_t pair = 0; pair < matches.size(); ++pair) {
        const std::size_t a = leftPosition(pair);
        const std::size_t b = rightPosition(pair);
        // A matched token is taken from the left chunk.
        merged.push_back(left[a]);
        if (pair + 1 == matches.size()) {
            break;
        }
        // Between two matches the chunk that decoded more tokens wins; on a tie the left chunk does.
        const std::size_t nextA = leftPosition(pair + 1);
        const std::size_t nextB = rightPosition(pair + 1);
        if (nextB - b > nextA - a) {
            appendRange(merged, right, b + 1, nextB);
        } else {
            appendRange(merged, left, a + 1, nextA);
        }
    }
    appendSeamTail(merged, static_cast<int>(leftPosition(matches.size() - 1)),
                   static_cast<int>(rightPosition(matches.size() - 1)), left, right, spliceSafeTokenIds);
    return merged;
}

void ChunkSeamMerger::appendSeamTail(std::vector<DecodedToken>& merged, int lastLeft, int lastRight,
                                     const std::vector<DecodedToken>& left, const std::vector<DecodedToken>& right,
                                     const std::optional<SpliceSafeIds>& spliceSafeTokenIds) {
    const auto tail = static_cast<std::size_t>(lastRight) + 1;
    if (tail >= right.size()) {
        return;
    }
    if (!spliceSafeTokenIds || isSpliceSafe(right[tail], *spliceSafeTokenIds)) {
        appendFrom(merged, right, tail);
        return;
    }
    // The right chunk's tail begins inside a word. Take that word whole from the right chunk when it starts
    // there, in place of the merged list's last word.
    const std::optional<int> wordStart = wordInitialIndex(right, lastRight, *spliceSafeTokenIds);
    if (wordStart && popSeamWord(merged, *spliceSafeTokenIds)) {
        appendFrom(merged, right, static_cast<std::size_t>(*wordStart));
        return;
    }
    // Otherwise the rest of the word comes from the left chunk and the right chunk resumes at its next word.
    for (auto position = static_cast<std::size_t>(lastLeft) + 1;
         position < left.size() && !isSpliceSafe(left[position], *spliceSafeTokenIds); ++position) {
        merged.push_back(left[position]);
    }
    appendFrom(merged, right, firstSpliceSafe(right, tail, *spliceSafeTokenIds).value_or(tail));
}

std::optional<int> ChunkSeamMerger::wordInitialIndex(const std::vector<DecodedToken>& tokens, int endingAt,
                                                     const SpliceSafeIds& safeIds) {
    for (int position = std::min(endingAt, static_cast<int>(tokens.size()) - 1); position >= 0; --position) {
        if (isSpliceSafe(tokens[static_cast<std::size_t>(position)], safeIds)) {
            return position;
        }
    }
    return std::nullopt;
}

bool ChunkSeamMerger::popSeamWord(std::vector<DecodedToken>& tokens, const SpliceSafeIds& safeIds) {
    const auto lastSafe = std::ranges::find_if(tokens.rbegin(), tokens.rend(),
                                               [&](const DecodedToken& token) { return isSpliceSafe(token, safeIds); });
    if (lastSafe == tokens.rend()) {
        return false;
    }
    tokens.erase(std::prev(lastSafe.base()), tokens.end());
    return true;
}

void ChunkSeamMerger::sortByTimestamp(std::vector<DecodedToken>& tokens) {
    std::ranges::stable_sort(tokens, std::ranges::less(), &DecodedToken::timestamp);
}

namespace {

// A word as the chunks decoded it: its tokens, its text without surrounding punctuation and blanks, the frame
// where it starts and whether it closes a sentence.
struct Word {
    std::vector<DecodedToken> tokens;
    std::string core;
    int startTimestamp = 0;
    bool endsSentence = false;
};

bool opensWord(std::string_view piece) {
    return piece.starts_with(ASRConstants::sentencePieceWordBoundary) || piece.starts_with(' ');
}

std::string_view withoutWordMarker(std::string_view piece) {
    if (piece.starts_with(ASRConstants::sentencePieceWordBoundary)) {
        return piece.substr(ASRConstants::sentencePieceWordBoundary.size());
    }
    return piece.starts_with(' ') ? piece.substr(1) : piece;
}

// Blanks and punctuation go from both ends; line breaks stay.
std::string coreOf(std::string_view text) {
    const std::u32string scalars = platform::text::decodeScalars(text);
    const auto trims = [](char32_t scalar) {
        return platform::text::isPunctuation(scalar) || platform::text::isBlank(scalar);
    };
    const auto last = std::ranges::find_if_not(scalars.rbegin(), scalars.rend(), trims).base();
    const auto first = std::find_if_not(scalars.begin(), last, trims);
    return platform::text::encodeScalars(std::u32string_view(first, last));
}

bool endsSentence(std::string_view text) {
    static constexpr std::array<std::string_view, 4> sentenceEnds{".", "?", "!", ":"};
    if (text.empty()) {
        return false;
    }
    const std::string last = platform::text::graphemeClusters(text).back();
    return std::ranges::find(sentenceEnds, last) != sentenceEnds.end();
}

Word makeWord(std::vector<DecodedToken> tokens, std::string_view text) {
    const int startTimestamp = tokens.front().timestamp;
    return Word{.tokens = std::move(tokens),
                .core = coreOf(text),
                .startTimestamp = startTimestamp,
                .endsSentence = endsSentence(text)};
}

// A word begins at every token whose piece opens one, and at the first token.
std::vector<Word> splitIntoWords(const std::vector<DecodedToken>& tokens,
                                 const ChunkSeamMerger::Vocabulary& vocabulary) {
    std::vector<Word> words;
    std::vector<DecodedToken> wordTokens;
    std::string text;
    for (const DecodedToken& token : tokens) {
        const auto found = vocabulary.find(token.token);
        const std::string_view piece = found != vocabulary.end() ? std::string_view(found->second) : std::string_view();
        if (opensWord(piece) && !wordTokens.empty()) {
            words.push_back(makeWord(std::move(wordTokens), text));
            wordTokens.clear();
            text.clear();
        }
        wordTokens.push_back(token);
        text.append(withoutWordMarker(piece));
    }
    if (!wordTokens.empty()) {
        words.push_back(makeWord(std::move(wordTokens), text));
    }
    return words;
}

bool hasUpperCase(const std::string& core) {
    return !platform::text::canonicallyEquivalent(core, platform::text::lowercased(core));
}

// The same word decoded by both chunks of a seam, once with a capital (a chunk began with it) and once without.
// A capital after the end of a sentence is a new word, and so is an exact repeat.
bool isCaseDuplicate(const Word& previous, const Word& current, std::int64_t windowFrames) {
    // The cheap tests first: most neighbouring words are too far apart to be one decoded twice.
    if (std::int64_t{current.startTimestamp} - previous.startTimestamp > windowFrames || previous.endsSentence ||
        previous.core.empty() || current.core.empty()) {
        return false;
    }
    std::size_t position = 0;
    return platform::text::isLetter(platform::text::decodeNextScalar(current.core, position)) &&
           !platform::text::canonicallyEquivalent(previous.core, current.core) &&
           platform::text::canonicallyEquivalent(platform::text::lowercased(previous.core),
                                                 platform::text::lowercased(current.core));
}

} // namespace

std::vector<DecodedToken> ChunkSeamMerger::collapseSeamWordDuplicates(const std::vector<DecodedToken>& tokens,
                                                                      const Vocabulary& vocabulary) const {
    if (vocabulary.empty() || tokens.size() < 2) {
        return tokens;
    }
    const std::int64_t windowFrames = std::llround(overlapSeconds / ASRConstants::secondsPerEncoderFrame);
    const std::vector<Word> words = splitIntoWords(tokens, vocabulary);
    std::vector<bool> kept(words.size(), true);
    std::optional<std::size_t> reference;
    for (std::size_t current = 0; current < words.size(); ++current) {
        if (reference && isCaseDuplicate(words[*reference], words[current], windowFrames)) {
            // The lower-case spelling survives: a capital only says that a chunk began there.
            if (hasUpperCase(words[current].core)) {
                kept[current] = false;
                continue;
            }
            kept[*reference] = false;
        }
        reference = current;
    }
    std::vector<DecodedToken> collapsed;
    collapsed.reserve(tokens.size());
    for (std::size_t word = 0; word < words.size(); ++word) {
        if (kept[word]) {
            collapsed.insert(collapsed.end(), words[word].tokens.begin(), words[word].tokens.end());
        }
    }
    return collapsed;
}

} // namespace quorl
