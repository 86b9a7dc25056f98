#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorl::utf8 {

// The code points of UTF-8 bytes; none when the bytes are not valid UTF-8 (a cut inside a character
// included).
std::optional<std::u32string> decodeStrictly(std::span<const std::uint8_t> bytes);
// The same, with U+FFFD for each byte that does not begin a valid character; callers only look at how the
// text begins, so how many replacement characters a bad sequence yields does not matter.
std::u32string decodeReplacingInvalid(std::span<const std::uint8_t> bytes);

std::string encode(std::u32string_view text);

// Without Unicode white space and line breaks at either end.
std::u32string_view trimmed(std::u32string_view text);
// Without Unicode white space (the space separators and the tab) at either end; line breaks stay.
std::u32string_view trimmedOfBlanks(std::u32string_view text);

} // namespace quorl::utf8
