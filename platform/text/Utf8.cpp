#include "platform/text/Utf8.hpp"

#include <unicode/utf8.h>

#include <cstdint>

namespace platform::text {
namespace {

const std::uint8_t* bytesOf(std::string_view text) { return reinterpret_cast<const std::uint8_t*>(text.data()); }

bool isScalarValue(UChar32 value) { return value >= 0 && value <= 0x10FFFF && !U_IS_SURROGATE(value); }

// Calls `visit` with each scalar in order; false, at the first malformed sequence, when the text is not UTF-8.
template <class Visit> bool visitScalarsStrictly(std::string_view text, Visit visit) {
    const auto length = static_cast<std::int64_t>(text.size());
    for (std::int64_t offset = 0; offset < length;) {
        UChar32 scalar = 0;
        U8_NEXT(bytesOf(text), offset, length, scalar);
        if (scalar < 0) {
            return false;
        }
        visit(static_cast<char32_t>(scalar));
    }
    return true;
}

} // namespace

char32_t decodeNextScalar(std::string_view text, std::size_t& position) {
    const auto length = static_cast<std::int64_t>(text.size());
    auto offset = static_cast<std::int64_t>(position);
    UChar32 scalar = 0;
    U8_NEXT_OR_FFFD(bytesOf(text), offset, length, scalar);
    position = static_cast<std::size_t>(offset);
    return static_cast<char32_t>(scalar);
}

char32_t firstScalar(std::string_view text) {
    std::size_t position = 0;
    return text.empty() ? U'\0' : decodeNextScalar(text, position);
}

std::u32string decodeScalars(std::string_view text) {
    std::u32string scalars;
    for (std::size_t position = 0; position < text.size();) {
        scalars.push_back(decodeNextScalar(text, position));
    }
    return scalars;
}

std::optional<std::u32string> decodeScalarsStrictly(std::string_view text) {
    std::u32string scalars;
    if (!visitScalarsStrictly(text, [&scalars](char32_t scalar) { scalars.push_back(scalar); })) {
        return std::nullopt;
    }
    return scalars;
}

bool isWellFormedUtf8(std::string_view text) {
    return visitScalarsStrictly(text, [](char32_t) {});
}

std::string encodeScalars(std::u32string_view scalars) {
    std::string text;
    for (const char32_t scalar : scalars) {
        const auto value = static_cast<UChar32>(scalar);
        std::uint8_t bytes[U8_MAX_LENGTH];
        std::int32_t length = 0;
        U8_APPEND_UNSAFE(bytes, length, isScalarValue(value) ? value : UChar32{replacementCharacter});
        text.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    }
    return text;
}

} // namespace platform::text
