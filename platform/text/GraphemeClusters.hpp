#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::text {

// Splits UTF-8 text into its user-perceived characters (extended grapheme clusters), each returned as
// UTF-8. Malformed sequences read as U+FFFD, so every cluster is valid UTF-8 and each malformed sequence
// counts as one character.
std::vector<std::string> graphemeClusters(std::string_view text);

} // namespace platform::text
