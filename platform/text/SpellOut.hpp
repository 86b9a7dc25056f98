#pragma once

#include <cstdint>
#include <string>

namespace platform::text {

// The integer in English words as ICU's rule-based spell-out format writes it for the locale "en_US_POSIX":
// tens and units joined by a hyphen ("twenty-one"), no "and" ("one hundred twelve"), "minus" before a negative
// number. From 10^18 up in magnitude ICU writes digits instead of words. Empty when ICU cannot format.
std::string englishSpellOut(std::int64_t value);

} // namespace platform::text
