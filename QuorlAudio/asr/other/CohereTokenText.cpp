#include "QuorlAudio/asr/other/CohereTokenText.hpp"

#include "QuorlAudio/asr/other/CohereAsrConfig.hpp"
#include "QuorlAudio/foundation/WordPieceText.hpp"

#include "platform/text/Utf8.hpp"

#include <charconv>
#include <system_error>

namespace quorl {
namespace {

bool isSkipped(int id, const std::string* piece) {
    using Tokens = CohereAsrConfig::SpecialTokens;
    return (id >= Tokens::unkToken && id <= Tokens::startToken) || piece == nullptr || piece->empty() ||
           piece->starts_with("<|");
}

// Collected bytes of byte-fallback pieces, appended to the text as one UTF-8 sequence.
void flush(std::string& bytes, std::string& text) {
    if (!bytes.empty()) {
        text += platform::text::encodeScalars(platform::text::decodeScalars(bytes));
        bytes.clear();
    }
}

} // namespace

std::string CohereTokenText::convertTokensToText(std::span<const int> tokenIds, const TokenVocabulary& vocabulary) {
    std::string text;
    std::string bytes;
    for (const int id : tokenIds) {
        const auto found = vocabulary.find(id);
        const std::string* piece = found == vocabulary.end() ? nullptr : &found->second;
        if (isSkipped(id, piece)) {
            continue;
        }
        if (const auto byte = parseByteFallback(*piece)) {
            bytes.push_back(static_cast<char>(*byte));
            continue;
        }
        flush(bytes, text);
        text += *piece;
    }
    flush(bytes, text);
    return wordPieceText(text);
}

std::optional<std::uint8_t> CohereTokenText::parseByteFallback(std::string_view piece) {
    if (piece.size() != 6 || !piece.starts_with("<0x") || !piece.ends_with('>')) {
        return std::nullopt;
    }
    const std::string_view digits = piece.substr(3, 2);
    std::uint8_t byte = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), byte, 16);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return byte;
}

} // namespace quorl
