#include "platform/text/WhiteSpace.hpp"

#include "platform/text/Utf8.hpp"

#include <unicode/uchar.h>

#include <algorithm>

namespace platform::text {
namespace {

template <class Predicate> std::u32string_view trimming(std::u32string_view text, Predicate trims) {
    while (!text.empty() && trims(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && trims(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

bool isBlank(char32_t scalar) {
    return scalar == U'\t' || u_charType(static_cast<UChar32>(scalar)) == U_SPACE_SEPARATOR;
}

bool isLineBreak(char32_t scalar) {
    if ((scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85) {
        return true;
    }
    const auto type = u_charType(static_cast<UChar32>(scalar));
    return type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

std::u32string_view trimmingWhiteSpaceAndLineBreaks(std::u32string_view text) {
    return trimming(text, [](char32_t scalar) { return isBlank(scalar) || isLineBreak(scalar); });
}

std::u32string_view trimmingBlanks(std::u32string_view text) { return trimming(text, isBlank); }

// Only the ends are examined, so trimming a long text costs what its blanks at either end cost.
std::string_view trimmingBlanks(std::string_view utf8) {
    std::size_t start = 0;
    while (start < utf8.size()) {
        std::size_t next = start;
        if (!isBlank(decodeNextScalar(utf8, next))) {
            break;
        }
        start = next;
    }
    std::size_t end = utf8.size();
    while (end > start) {
        std::size_t scalarStart = end - 1;
        while (scalarStart > start && (static_cast<unsigned char>(utf8[scalarStart]) & 0xC0) == 0x80) {
            --scalarStart;
        }
        // Bytes after the last whole scalar are ill-formed, which is not blank.
        std::size_t scalarEnd = scalarStart;
        if (!isBlank(decodeNextScalar(utf8, scalarEnd)) || scalarEnd != end) {
            break;
        }
        end = scalarStart;
    }
    return utf8.substr(start, end - start);
}

std::string trimmingWhiteSpaceAndLineBreaks(std::string_view utf8) {
    return encodeScalars(trimmingWhiteSpaceAndLineBreaks(decodeScalars(utf8)));
}

bool isAllWhiteSpaceAndLineBreaks(std::string_view utf8) {
    std::size_t position = 0;
    while (position < utf8.size()) {
        const char32_t scalar = decodeNextScalar(utf8, position);
        if (!isBlank(scalar) && !isLineBreak(scalar)) {
            return false;
        }
    }
    return true;
}

} // namespace platform::text
