#include "platform/text/CharacterProperties.hpp"

#include <unicode/uchar.h>

namespace platform::text {
namespace {

bool isScalar(char32_t value) { return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF); }

bool hasProperty(char32_t scalar, UProperty property) {
    return isScalar(scalar) && u_hasBinaryProperty(static_cast<UChar32>(scalar), property);
}

} // namespace

bool hasNumericType(char32_t scalar) {
    return isScalar(scalar) && u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

std::optional<double> numericValue(char32_t scalar) {
    if (!hasNumericType(scalar)) {
        return std::nullopt;
    }
    return u_getNumericValue(static_cast<UChar32>(scalar));
}

bool isAlphabetic(char32_t scalar) { return hasProperty(scalar, UCHAR_ALPHABETIC); }

bool isWhiteSpace(char32_t scalar) { return hasProperty(scalar, UCHAR_WHITE_SPACE); }

bool isEmoji(char32_t scalar) { return hasProperty(scalar, UCHAR_EMOJI); }

bool isEmojiPresentation(char32_t scalar) { return hasProperty(scalar, UCHAR_EMOJI_PRESENTATION); }

} // namespace platform::text
