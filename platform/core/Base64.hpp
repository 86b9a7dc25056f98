#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::core {

// Standard base64 (alphabet "A-Za-z0-9+/", "=" padding), as byte data travels in JSON text.
std::string base64Encode(const std::vector<std::uint8_t>& bytes);

// How strictly decoding reads its text.
enum class Base64Decoding {
    // Only canonical text is accepted.
    canonical,
    // Characters outside the alphabet and "=" (line breaks, spaces, stray marks) are skipped first; what is
    // left must then be canonical.
    ignoringUnknownCharacters,
};

// The bytes of base64 text, or nothing when the text (after skipping, in the lenient mode) is not canonical:
// a length that is not a multiple of four, a character outside the alphabet, misplaced padding or set bits
// after the last byte.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text,
                                                      Base64Decoding decoding = Base64Decoding::canonical);

} // namespace platform::core
