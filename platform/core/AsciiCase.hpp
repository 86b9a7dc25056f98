#pragma once

#include <string>
#include <string_view>

namespace platform::core {

// Lower-cases the ASCII letters only, whatever the process's locale, so the UTF-8 bytes of other characters
// stay intact. For protocol tokens (schemes, hosts, header names, media types), not for words: those go
// through platform::text::lowercased.
char asciiLowercased(char character);
std::string asciiLowercased(std::string_view text);

// Whether the two texts are the same but for the case of ASCII letters.
bool equalIgnoringAsciiCase(std::string_view left, std::string_view right);

} // namespace platform::core
