#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

namespace quorl {

// Token ids of the streaming transducers back to text. The vocabulary file is one JSON object from the
// decimal text of each id to its piece, in which "▁" marks the start of a word. Immutable once built, so
// any number of engines and threads may share one.
class Tokenizer {
public:
    // Throws the file system's error for a file that cannot be read, the JSON reader's error for text that is
    // not JSON, and TokenizerError when the top level is not an object of texts.
    explicit Tokenizer(const std::filesystem::path& vocabPath);

    // The pieces of the known ids joined, every "▁" turned into a space, blanks trimmed at both ends (line
    // breaks stay). Unknown ids are skipped.
    std::string decode(std::span<const std::int64_t> ids) const;

    // The piece as stored, "▁" included; none for an unknown id.
    std::optional<std::string> piece(std::int64_t id) const;
    std::optional<std::string> rawToken(std::int64_t id) const { return piece(id); }
    // The piece with every "▁" turned into a space, as it reads in a transcript; none for an unknown id.
    std::optional<std::string> spacedPiece(std::int64_t id) const;

    // The file's object as read, keyed by the id texts.
    const std::map<std::string, std::string>& vocab() const { return vocab_; }
    // Every key that reads as a signed 64-bit decimal integer, mapped to its piece.
    const std::unordered_map<std::int64_t, std::string>& idToToken() const { return idToToken_; }

private:
    std::map<std::string, std::string> vocab_;
    std::unordered_map<std::int64_t, std::string> idToToken_;
};

} // namespace quorl
