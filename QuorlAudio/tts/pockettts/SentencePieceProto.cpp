#include "QuorlAudio/tts/pockettts/SentencePieceProto.hpp"

#include "platform/text/Utf8.hpp"

#include <cstdint>
#include <cstring>

namespace quorl::SentencePieceProto {
namespace {

constexpr std::size_t maxVarintBytes = 10;

enum WireType : std::uint64_t { varint = 0, fixed64 = 1, lengthDelimited = 2, fixed32 = 5 };

// A cursor over one message: every read stays below `end`, the end of the enclosing message.
struct Reader {
    std::string_view bytes;
    std::size_t offset;
    std::size_t end;

    bool atEnd() const { return offset >= end; }

    std::uint64_t readVarint() {
        std::uint64_t value = 0;
        for (std::size_t index = 0; index < maxVarintBytes; ++index) {
            if (offset >= end) {
                throw ParseFailure(ParseError::unexpectedEnd);
            }
            const auto byte = static_cast<std::uint8_t>(bytes[offset++]);
            if (index == maxVarintBytes - 1) {
                // The tenth byte can only carry bit 63 and must end the varint.
                if ((byte & 0x80U) != 0) {
                    throw ParseFailure(ParseError::invalidData);
                }
                return value | (std::uint64_t{byte & 0x01U} << 63U);
            }
            value |= std::uint64_t{byte & 0x7FU} << (7 * index);
            if ((byte & 0x80U) == 0) {
                return value;
            }
        }
        throw ParseFailure(ParseError::invalidData);
    }

    std::string_view take(std::uint64_t length) {
        if (length > end - offset) {
            throw ParseFailure(ParseError::unexpectedEnd);
        }
        const auto field = bytes.substr(offset, static_cast<std::size_t>(length));
        offset += static_cast<std::size_t>(length);
        return field;
    }

    // Reads past a field this reader does not interpret.
    void skip(std::uint64_t wireType) {
        switch (wireType) {
        case varint: readVarint(); return;
        case fixed64: take(8); return;
        case fixed32: take(4); return;
        case lengthDelimited: take(readVarint()); return;
        default: throw ParseFailure(ParseError::invalidData);
        }
    }
};

float scoreOf(std::string_view fourBytes) {
    std::uint32_t bits = 0;
    for (std::size_t index = 0; index < 4; ++index) {
        bits |= std::uint32_t{static_cast<std::uint8_t>(fourBytes[index])} << (8 * index);
    }
    float score = 0.0F;
    std::memcpy(&score, &bits, sizeof score);
    return score;
}

Piece parsePiece(std::string_view bytes, std::size_t start, std::size_t end) {
    Reader reader{.bytes = bytes, .offset = start, .end = end};
    Piece piece;
    while (!reader.atEnd()) {
        const std::uint64_t tag = reader.readVarint();
        const std::uint64_t field = tag >> 3U;
        const std::uint64_t wireType = tag & 0x07U;
        if (field == 1 && wireType == lengthDelimited) {
            const auto text = reader.take(reader.readVarint());
            if (!platform::text::decodeScalarsStrictly(text)) {
                throw ParseFailure(ParseError::invalidUtf8);
            }
            piece.piece = std::string(text);
        } else if (field == 2 && wireType == fixed32) {
            piece.score = scoreOf(reader.take(4));
        } else {
            reader.skip(wireType);
        }
    }
    return piece;
}

std::string describe(ParseError error) {
    switch (error) {
    case ParseError::invalidData: return "invalid protocol-buffer data";
    case ParseError::unexpectedEnd: return "unexpected end of protocol-buffer data";
    case ParseError::invalidUtf8: return "piece text is not valid UTF-8";
    }
    return "";
}

} // namespace

ParseFailure::ParseFailure(ParseError error) : platform::core::Error(describe(error)), error_(error) {}

std::vector<Piece> parse(std::string_view data) {
    Reader reader{.bytes = data, .offset = 0, .end = data.size()};
    std::vector<Piece> pieces;
    while (!reader.atEnd()) {
        const std::uint64_t tag = reader.readVarint();
        const std::uint64_t wireType = tag & 0x07U;
        if ((tag >> 3U) == 1 && wireType == lengthDelimited) {
            const auto message = reader.take(reader.readVarint());
            const auto start = static_cast<std::size_t>(message.data() - data.data());
            pieces.push_back(parsePiece(data, start, start + message.size()));
        } else {
            reader.skip(wireType);
        }
    }
    return pieces;
}

} // namespace quorl::SentencePieceProto
