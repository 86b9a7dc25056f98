#include "QuorlAudio/models/Utf8Text.hpp"

namespace quorl::utf8 {
namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

struct Decoded {
    char32_t codePoint;
    std::size_t length; // 0 for an invalid sequence
};

// One character at the start of `bytes`, refusing overlong forms, surrogates and values past U+10FFFF.
Decoded decodeOne(std::span<const std::uint8_t> bytes) {
    const std::uint8_t lead = bytes[0];
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, codePoint = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, codePoint = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, codePoint = lead & 0x07, smallest = 0x10000;
    } else {
        return {0, 0};
    }
    if (bytes.size() < length) {
        return {0, 0};
    }
    for (std::size_t index = 1; index < length; ++index) {
        if ((bytes[index] & 0xC0) != 0x80) {
            return {0, 0};
        }
        codePoint = (codePoint << 6) | (bytes[index] & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < smallest || codePoint > 0x10FFFF || surrogate) {
        return {0, 0};
    }
    return {codePoint, length};
}

std::optional<std::u32string> decode(std::span<const std::uint8_t> bytes, bool replaceInvalid) {
    std::u32string text;
    while (!bytes.empty()) {
        const Decoded decoded = decodeOne(bytes);
        if (decoded.length == 0 && !replaceInvalid) {
            return std::nullopt;
        }
        text.push_back(decoded.length == 0 ? replacementCharacter : decoded.codePoint);
        bytes = bytes.subspan(decoded.length == 0 ? 1 : decoded.length);
    }
    return text;
}

// The space separators and the tab.
bool isBlank(char32_t character) {
    return character == 0x09 || character == 0x20 || character == 0xA0 || character == 0x1680 ||
           (character >= 0x2000 && character <= 0x200A) || character == 0x202F || character == 0x205F ||
           character == 0x3000;
}

bool isLineBreak(char32_t character) {
    return (character >= 0x0A && character <= 0x0D) || character == 0x85 || character == 0x2028 ||
           character == 0x2029;
}

bool isWhiteSpaceOrLineBreak(char32_t character) { return isBlank(character) || isLineBreak(character); }

template <class Predicate>
std::u32string_view trimmedOf(std::u32string_view text, Predicate trims) {
    while (!text.empty() && trims(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && trims(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::optional<std::u32string> decodeStrictly(std::span<const std::uint8_t> bytes) { return decode(bytes, false); }

std::u32string decodeReplacingInvalid(std::span<const std::uint8_t> bytes) { return *decode(bytes, true); }

std::string encode(std::u32string_view text) {
    std::string bytes;
    for (const char32_t character : text) {
        if (character < 0x80) {
            bytes.push_back(static_cast<char>(character));
        } else if (character < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (character >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (character & 0x3F)));
        } else if (character < 0x10000) {
            bytes.push_back(static_cast<char>(0xE0 | (character >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (character & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xF0 | (character >> 18)));
            bytes.push_back(static_cast<char>(0x80 | ((character >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (character & 0x3F)));
        }
    }
    return bytes;
}

std::u32string_view trimmed(std::u32string_view text) { return trimmedOf(text, isWhiteSpaceOrLineBreak); }

std::u32string_view trimmedOfBlanks(std::u32string_view text) { return trimmedOf(text, isBlank); }

} // namespace quorl::utf8
