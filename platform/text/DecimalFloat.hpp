#pragma once

#include <optional>
#include <string_view>

namespace platform::text {

// The whole text read as a 32-bit float the same way in every locale ("1.5", "-2e-3", "+0.25", "nan",
// "inf"). Text with anything before or after the number, white space included, or a value beyond the float
// range does not parse.
std::optional<float> decimalFloat(std::string_view text);

} // namespace platform::text
