#pragma once

#include "platform/core/Error.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorl {

// The character-level vocabulary of the Mandarin polyphone model: one token per line of "vocab.txt", and the
// fixed-length id, mask and type arrays of one model input. Keys compare under canonical equivalence (stored
// and looked up in NFC). Immutable once built; any thread may use it.
class MandarinBertTokenizer {
public:
    class LoadError : public platform::core::Error {
    public:
        // Every text, the empty one too, holds a line, so a vocabulary is never empty: what a file can lack is
        // one of the special tokens.
        enum class Kind { missingSpecialToken };

        // "BERT vocab is missing required special token '" + token + "'".
        static LoadError missingSpecialToken(const std::string& token);

        Kind kind() const { return Kind::missingSpecialToken; }
        const std::string& token() const { return token_; }

    private:
        explicit LoadError(const std::string& token);

        std::string token_;
    };

    struct Encoded {
        std::vector<std::int32_t> inputIds;
        std::vector<std::int32_t> attentionMask;
        std::vector<std::int32_t> tokenTypeIds;
        // The index in inputIds of each encoded character's token.
        std::vector<int> tokenPositionForChar;

        bool operator==(const Encoded&) const = default;
    };

    using Vocab = std::unordered_map<std::string, std::int32_t>;

    static constexpr int defaultMaxLength = 512;

    // Reads the file: a token per line, its id its 0-based line number (the last line of a repeated token wins);
    // lines end at a line feed, a carriage return before it dropped, and an empty remainder after the last line
    // feed is no line. Read errors pass through; a missing special token throws LoadError.
    static MandarinBertTokenizer load(const std::filesystem::path& vocabURL);
    // As load, from the file's text.
    static Vocab parseVocab(std::string_view text);

    // Throws LoadError missingSpecialToken for the first of "[CLS]", "[SEP]", "[PAD]", "[UNK]" that is absent.
    explicit MandarinBertTokenizer(Vocab vocab);

    const Vocab& vocab() const { return vocab_; }
    std::int32_t clsId() const { return clsId_; }
    std::int32_t sepId() const { return sepId_; }
    std::int32_t padId() const { return padId_; }
    std::int32_t unkId() const { return unkId_; }

    // [CLS], the id of each of the first maxLength - 2 characters ([UNK] when it has none), [SEP], then pads up
    // to maxLength. A maxLength below 2 is taken as 2.
    Encoded encode(const std::vector<std::string>& chars, int maxLength) const;

private:
    std::int32_t specialId(const std::string& token) const;

    Vocab vocab_;
    std::int32_t clsId_;
    std::int32_t sepId_;
    std::int32_t padId_;
    std::int32_t unkId_;
};

} // namespace quorl
