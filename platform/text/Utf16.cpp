#include "platform/text/Utf16.hpp"

#include "platform/text/Utf8.hpp"

#include <unicode/utf16.h>

#include <cstddef>
#include <cstdint>

namespace platform::text {

std::u16string utf16Of(std::string_view utf8) {
    std::u16string units;
    for (const char32_t scalar : decodeScalars(utf8)) {
        char16_t encoded[U16_MAX_LENGTH];
        std::int32_t length = 0;
        U16_APPEND_UNSAFE(encoded, length, static_cast<UChar32>(scalar));
        units.append(encoded, static_cast<std::size_t>(length));
    }
    return units;
}

std::string utf8Of(std::u16string_view units) {
    std::u32string scalars;
    const auto length = static_cast<std::int64_t>(units.size());
    for (std::int64_t offset = 0; offset < length;) {
        UChar32 scalar = 0;
        U16_NEXT_OR_FFFD(units.data(), offset, length, scalar);
        scalars.push_back(static_cast<char32_t>(scalar));
    }
    return encodeScalars(scalars);
}

} // namespace platform::text
