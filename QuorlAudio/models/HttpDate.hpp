#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace quorl {

// The moment an HTTP date names, in the form "Sun, 06 Nov 1994 08:49:37 GMT" (English day and month
// abbreviations, time in GMT, also written "UTC"); none for any other text. A date beyond the range of the
// clock (before 1678 or after 2261) gives the clock's earliest or latest moment.
std::optional<std::chrono::system_clock::time_point> parseHttpDate(std::string_view text);

} // namespace quorl
