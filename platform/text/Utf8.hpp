#pragma once

#include <cstddef>
#include <string_view>

namespace platform::text {

// U+FFFD, what every malformed UTF-8 sequence reads as throughout this layer.
inline constexpr char32_t replacementCharacter = U'\uFFFD';

// Decodes the Unicode scalar that starts at `position` and moves `position` past it. A malformed or
// truncated sequence yields the replacement character and moves past its longest ill-formed prefix,
// so a loop over a text always ends. `position` must be below the text's size.
char32_t decodeNextScalar(std::string_view text, std::size_t& position);

} // namespace platform::text
