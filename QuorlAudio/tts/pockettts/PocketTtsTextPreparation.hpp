#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsConstantsBundle.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"
#include "QuorlAudio/tts/pockettts/SentencePieceTokenizer.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Turning a text into the chunks, token ids and embedding rows the flow language model is fed. Token counts are
// always the length of the tokenizer's `encode` of the text in question.
namespace quorl::PocketTtsSynthesizer {

struct TextChunk {
    std::string text;
    // The chunk continues a sentence that was cut for length.
    bool isMidSentence = false;

    bool operator==(const TextChunk&) const = default;
};

struct NormalizedText {
    std::string text;
    // Frames to keep generating after end of speech is seen.
    std::int64_t framesAfterEos = 0;
};

// Chunks of at most `maxTokens` tokens where the text allows: whole sentences merged while they fit, an
// oversized sentence cut at clauses and then words. Never empty.
std::vector<TextChunk> chunkTextWithMetadata(std::string_view text, const SentencePieceTokenizer& tokenizer,
                                             std::int64_t maxTokens, PocketTtsLanguage language);

// Sentences ended by "!", "?" or a "." that follows no abbreviation or initial and precedes no digit.
std::vector<std::string> splitSentences(std::string_view text, PocketTtsLanguage language);

std::vector<std::string> splitOversizedSentence(std::string_view sentence, const SentencePieceTokenizer& tokenizer,
                                                std::int64_t maxTokens);

// Clauses ended by ";", ":" or a "," that does not stand between two numbers.
std::vector<std::string> splitAtClauseBoundaries(std::string_view text);

std::vector<std::string> splitAtWordBoundaries(std::string_view text, const SentencePieceTokenizer& tokenizer,
                                               std::int64_t maxTokens);

// A chunk's text as it is encoded: straight quotes, single spaces and, for a chunk that starts a sentence, a
// capital, a final stop and eight leading spaces when it has at most four words.
NormalizedText normalizeText(std::string_view text, bool isMidSentence, PocketTtsLanguage language);

// One copy of the table's 1024-float row per id; an id outside the table is clamped into it with a warning.
std::vector<std::vector<float>> embedTokens(const std::vector<std::int64_t>& ids,
                                            const PocketTtsConstantsBundle& constants);
// The rows of a normalised text's tokens; none for an empty text.
std::vector<std::vector<float>> embedText(const std::string& normalizedText, const PocketTtsConstantsBundle& constants);

} // namespace quorl::PocketTtsSynthesizer
