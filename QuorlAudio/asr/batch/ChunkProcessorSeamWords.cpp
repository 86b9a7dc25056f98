#include "QuorlAudio/asr/batch/ChunkProcessor.hpp"

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
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorl {
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
                                 const ChunkProcessor::Vocabulary& vocabulary) {
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

std::vector<DecodedToken> ChunkProcessor::collapseSeamWordDuplicates(const std::vector<DecodedToken>& tokens,
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
