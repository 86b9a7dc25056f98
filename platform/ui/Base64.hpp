#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

// Standard base64 (alphabet "A-Za-z0-9+/", "=" padding), as byte data travels in JSON text.
std::string base64Encode(const std::vector<std::uint8_t>& bytes);

// The bytes of canonical base64 text, or nothing when the text is not: a length that is not a multiple of
// four, a character outside the alphabet, misplaced padding or set bits after the last byte.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

} // namespace platform::ui
