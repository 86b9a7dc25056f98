#include "platform/text/Utf8.hpp"

#include <unicode/utf8.h>

#include <cstdint>

namespace platform::text {

char32_t decodeNextScalar(std::string_view text, std::size_t& position) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int64_t>(text.size());
    auto offset = static_cast<std::int64_t>(position);
    UChar32 scalar = 0;
    U8_NEXT_OR_FFFD(bytes, offset, length, scalar);
    position = static_cast<std::size_t>(offset);
    return static_cast<char32_t>(scalar);
}

} // namespace platform::text
