#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo {

// The most UTF-16 units one synthetic key event carries.
inline constexpr std::size_t maxUnitsPerKeystroke = 20;

// The UTF-8 text as the Unicode strings of consecutive synthetic key presses. Every carriage return, alone or
// before a line feed, becomes one line feed. The units are packed user-perceived character by character into
// keystrokes of 1 to 20 units; a character that does not fit whole is split between its code points, never
// inside a surrogate pair.
std::vector<std::u16string> unicodeKeystrokes(std::string_view text);

} // namespace mirvo
