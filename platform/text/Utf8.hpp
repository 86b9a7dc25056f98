#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform::text {

// U+FFFD, what every malformed UTF-8 sequence reads as throughout this layer.
inline constexpr char32_t replacementCharacter = U'\uFFFD';

// Decodes the Unicode scalar that starts at `position` and moves `position` past it. A malformed or
// truncated sequence yields the replacement character and moves past its longest ill-formed prefix,
// so a loop over a text always ends. `position` must be below the text's size.
char32_t decodeNextScalar(std::string_view text, std::size_t& position);

// The scalar the text begins with, as decodeNextScalar reads it; U+0000 for empty text.
char32_t firstScalar(std::string_view text);
// Every scalar of the text, malformed sequences read as the replacement character.
std::u32string decodeScalars(std::string_view text);
// Every scalar of the text; none when it is not well-formed UTF-8 (a cut inside a character included).
std::optional<std::u32string> decodeScalarsStrictly(std::string_view text);
// Whether decodeScalarsStrictly would read the text, without decoding it.
bool isWellFormedUtf8(std::string_view text);
// The UTF-8 of the scalars; a surrogate or a value past U+10FFFF is written as the replacement character.
std::string encodeScalars(std::u32string_view scalars);

} // namespace platform::text
