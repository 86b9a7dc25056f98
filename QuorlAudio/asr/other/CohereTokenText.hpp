#pragma once

#include "QuorlAudio/foundation/TokenVocabulary.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// The text of Cohere token ids: vocabulary pieces joined, byte-fallback pieces ("<0xE2>") gathered into
// runs decoded as UTF-8, word markers as spaces.
struct CohereTokenText {
    // Ids 0 to 4, unknown ids, empty pieces and pieces starting with "<|" are skipped (without ending a byte
    // run). A byte run ends at the next piece of text or at the end; a malformed sequence in it becomes
    // U+FFFD, so the result is always valid UTF-8. Blanks (spaces and tabs) are trimmed at both ends.
    static std::string convertTokensToText(std::span<const int> tokenIds, const TokenVocabulary& vocabulary);

    // The byte of a piece of exactly the form "<0xHH>" (hexadecimal in either case), none for any other.
    static std::optional<std::uint8_t> parseByteFallback(std::string_view piece);
};

} // namespace quorl
