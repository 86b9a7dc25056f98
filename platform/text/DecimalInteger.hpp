#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform::text {

// The text read as a signed 64-bit integer: an optional "+" or "-", then one or more ASCII digits and nothing
// else. Blanks, other scripts' digits, separators and values beyond the 64-bit range do not parse.
std::optional<std::int64_t> decimalInteger(std::string_view text);

} // namespace platform::text
