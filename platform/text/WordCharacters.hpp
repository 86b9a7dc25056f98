#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// The characters (grapheme clusters) of the text that are letters or numbers in the Unicode sense, or "_",
// in order; how file stems are made safe from names a caller gives.
std::string keepingWordCharacters(std::string_view text);

} // namespace platform::text
