#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// The text under Unicode's default full lower-case mapping, the same for every locale: one scalar may become
// several ("İ" becomes "i" followed by a combining dot above), and a capital sigma at the end of a word becomes
// the final form "ς". Malformed UTF-8 reads as U+FFFD.
std::string lowercased(std::string_view text);

} // namespace platform::text
