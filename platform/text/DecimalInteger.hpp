#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform::text {

// A signed 64-bit integer written in base 10: an optional "+" or "-" followed by one or more ASCII digits and
// nothing else. White space, any other character, a sign alone or a value out of range gives none.
std::optional<std::int64_t> decimalInteger(std::string_view text);

} // namespace platform::text
