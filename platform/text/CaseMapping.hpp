#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// The text under Unicode's default full lower-case mapping, the same for every locale: one scalar may become
// several ("İ" becomes "i" followed by a combining dot above), and a capital sigma at the end of a word becomes
// the final form "ς". Malformed UTF-8 reads as U+FFFD.
std::string lowercased(std::string_view text);

// The text under Unicode's default full upper-case mapping, the same for every locale: "ß" becomes "SS".
std::string uppercased(std::string_view text);

// Whether the scalar has Unicode's Uppercase or Lowercase property; a value that is not a scalar has neither.
bool isUppercase(char32_t scalar);
bool isLowercase(char32_t scalar);

// Whether a whole character (one grapheme cluster) is upper case: a single scalar with the Uppercase property,
// or a character that upper-casing leaves unchanged and lower-casing changes ("E" with a combining acute).
// Its upper-case form is `uppercased` of the character.
bool isUppercaseCharacter(std::string_view character);

} // namespace platform::text
