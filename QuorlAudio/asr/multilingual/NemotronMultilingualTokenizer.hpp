#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualDecoded.hpp"
#include "QuorlAudio/asr/streaming/Tokenizer.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>

namespace quorl {

// The multilingual vocabulary: the streaming vocabulary plus the ids of the language-tag tokens, whose pieces
// are a language code between angle brackets ("<fr>"). Immutable once built, so streams and threads share one.
class NemotronMultilingualTokenizer {
public:
    // Throws what reading the vocabulary throws (see Tokenizer).
    NemotronMultilingualTokenizer(const std::filesystem::path& vocabPath, std::set<std::int64_t> langTagTokenIds);

    const Tokenizer& base() const { return base_; }
    const std::set<std::int64_t>& langTagTokenIds() const { return langTagTokenIds_; }

    // The text of the ids without their language tags: pieces joined, every "▁" a space, blanks (not line
    // breaks) trimmed at both ends, runs of spaces made one. The language is the first tag's piece without
    // its brackets; a tag without a piece leaves it to a later one. Unknown ids give nothing.
    NemotronMultilingualDecoded decode(std::span<const std::int64_t> ids) const;

    // The piece as stored in the vocabulary; none for an unknown id.
    std::optional<std::string> rawToken(std::int64_t id) const;

    // The tag token whose piece is exactly "<" + language + ">"; none when no tag has it.
    std::optional<std::int64_t> langTagTokenId(const std::string& language) const;

private:
    Tokenizer base_;
    std::set<std::int64_t> langTagTokenIds_;
};

} // namespace quorl
