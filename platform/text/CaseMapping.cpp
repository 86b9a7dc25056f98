#include "platform/text/CaseMapping.hpp"

#include "platform/text/IcuSupport.hpp"
#include "platform/text/Utf8.hpp"

#include <unicode/locid.h>
#include <unicode/uchar.h>

namespace platform::text {

std::string lowercased(std::string_view text) {
    icu::UnicodeString unicode = icuSupport::fromUtf8(text);
    // The root locale has no tailoring, so "I" stays "i" whatever the process's locale is.
    unicode.toLower(icu::Locale::getRoot());
    return icuSupport::toUtf8(unicode);
}

std::string uppercased(std::string_view text) {
    icu::UnicodeString unicode = icuSupport::fromUtf8(text);
    unicode.toUpper(icu::Locale::getRoot());
    return icuSupport::toUtf8(unicode);
}

bool isUppercase(char32_t scalar) { return scalar <= 0x10FFFF && u_isUUppercase(static_cast<UChar32>(scalar)); }

bool isLowercase(char32_t scalar) { return scalar <= 0x10FFFF && u_isULowercase(static_cast<UChar32>(scalar)); }

bool isUppercaseCharacter(std::string_view character) {
    if (character.empty()) {
        return false;
    }
    std::size_t position = 0;
    const char32_t first = decodeNextScalar(character, position);
    if (position == character.size()) {
        return isUppercase(first);
    }
    return uppercased(character) == character && lowercased(character) != character;
}

} // namespace platform::text
