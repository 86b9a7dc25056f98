#pragma once

#include "QuorlAudio/tts/pockettts/SentencePieceProto.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorl {

// A SentencePiece unigram vocabulary and its maximum-score segmentation. Immutable once built.
class SentencePieceTokenizer {
public:
    // Throws SentencePieceProto::ParseFailure when the model cannot be read.
    explicit SentencePieceTokenizer(std::string_view modelData);

    // The ids of the best-scoring segmentation of the text, with every space read as "▁" and one "▁" in front.
    // Where no segmentation covers the text, each scalar that is a piece of its own gives its id and every other
    // scalar is dropped. Text that differs from a piece only in composed versus decomposed form matches it.
    std::vector<std::int64_t> encode(std::string_view text) const;

    const std::vector<SentencePieceProto::Piece>& pieces() const { return pieces_; }
    // Largest piece length in Unicode scalars; 0 without pieces.
    std::size_t maxPieceLength() const { return maxPieceLength_; }
    // The id of a piece text (the later of two pieces with one text), or -1.
    std::int64_t id(std::string_view piece) const;

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    using PieceMap = std::unordered_map<std::string, std::int64_t, TextHash, std::equal_to<>>;

    std::vector<std::int64_t> viterbiDecode(std::string_view text) const;
    std::vector<std::int64_t> fallbackEncode(std::string_view text, const std::vector<std::size_t>& starts,
                                             bool normalized) const;
    std::int64_t lookUp(std::string_view candidate, bool normalized) const;

    std::vector<SentencePieceProto::Piece> pieces_;
    // Keyed by the composed (NFC) form of each piece, so that lookups compare under canonical equivalence.
    PieceMap pieceToId_;
    std::size_t maxPieceLength_ = 0;
};

} // namespace quorl
