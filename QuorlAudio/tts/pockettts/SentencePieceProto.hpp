#pragma once

#include "platform/core/Error.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace quorl::SentencePieceProto {

// One vocabulary entry of a SentencePiece model: its text ("▁" stands for a space) and its unigram score.
struct Piece {
    std::string piece;
    float score = 0.0F;

    bool operator==(const Piece&) const = default;
};

// Why a model file could not be read.
enum class ParseError {
    // A wire type the reader does not accept, or a varint longer than ten bytes.
    invalidData,
    // A varint, fixed-width value or length-delimited field runs past the end of its enclosing message.
    unexpectedEnd,
    // A piece text that is not valid UTF-8.
    invalidUtf8,
};

// What the reader throws: the error and a fixed description of it.
class ParseFailure : public platform::core::Error {
public:
    explicit ParseFailure(ParseError error);

    ParseError error() const { return error_; }

private:
    ParseError error_;
};

// The pieces of a SentencePiece model, in file order. Only the repeated piece field (1) of the model message
// and the text (1) and score (2) of each piece are read; every other field is skipped uninterpreted. Empty
// data holds no pieces. Throws ParseFailure.
std::vector<Piece> parse(std::string_view data);

} // namespace quorl::SentencePieceProto
