#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// The UTF-16 units of the text, a scalar past U+FFFF as a surrogate pair. Malformed UTF-8 sequences are read
// as the replacement character, as decodeScalars reads them.
std::u16string utf16Of(std::string_view utf8);
// The UTF-8 of the units. A surrogate without its partner is written as the replacement character.
std::string utf8Of(std::u16string_view units);

} // namespace platform::text
