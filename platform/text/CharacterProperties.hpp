#pragma once

#include <optional>

namespace platform::text {

// Unicode character properties of one scalar. A value that is not a scalar has none of them.

// Numeric_Type is decimal, digit or numeric: "7", "٣", "²", "½", "Ⅻ".
bool hasNumericType(char32_t scalar);
bool isAlphabetic(char32_t scalar);
// White_Space: blanks, tabs and line breaks.
bool isWhiteSpace(char32_t scalar);
// Emoji: pictographs, and also the ASCII digits, "#" and "*", which start keycap sequences.
bool isEmoji(char32_t scalar);
bool isEmojiPresentation(char32_t scalar);

// The Numeric_Value of a scalar with a numeric type: 7 for "7" and "٣", 0.5 for "½", 5 for "五"; none otherwise.
std::optional<double> numericValue(char32_t scalar);

} // namespace platform::text
