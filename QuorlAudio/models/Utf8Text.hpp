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
// The same, with each invalid sequence replaced by U+FFFD.
std::u32string decodeReplacingInvalid(std::span<const std::uint8_t> bytes);

std::string encode(std::u32string_view text);

// Without Unicode white space and line breaks at either end.
std::u32string_view trimmed(std::u32string_view text);

} // namespace quorl::utf8
