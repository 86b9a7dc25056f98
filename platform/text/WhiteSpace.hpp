#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// Blanks are the tab and the space separators (general category Zs); line breaks are U+000A to U+000D,
// U+0085 and the line and paragraph separators.
bool isBlank(char32_t scalar);
bool isLineBreak(char32_t scalar);

// The text without blanks and line breaks at either end.
std::u32string_view trimmingWhiteSpaceAndLineBreaks(std::u32string_view text);
// The text without blanks at either end; line breaks stay.
std::u32string_view trimmingBlanks(std::u32string_view text);

// The UTF-8 text without blanks at either end, a view of the bytes as given.
std::string_view trimmingBlanks(std::string_view utf8);
// The UTF-8 text without blanks and line breaks at either end; malformed sequences come out as U+FFFD.
std::string trimmingWhiteSpaceAndLineBreaks(std::string_view utf8);

// Whether the UTF-8 text is empty once trimmed of blanks and line breaks; a malformed sequence counts as text.
bool isAllWhiteSpaceAndLineBreaks(std::string_view utf8);

} // namespace platform::text
