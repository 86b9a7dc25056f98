#pragma once

#include <string>
#include <string_view>

// Spells out the numbers of English text before it is looked up in a pronunciation lexicon, which knows words,
// not digits. Holds no mutable state; any thread may call.
namespace quorl::EnglishTextNormalizer {

// The text with, in this order, clock times with a meridiem ("10:30 P.M." → "ten thirty p m"), decimals ("3.14"
// → "three point one four"), ordinals with their proper suffix ("21st" → "twenty first"), digit strings with a
// leading zero ("007" → "zero zero seven") and other whole numbers ("2024" → "two thousand twenty four") in
// words, hyphens of the words turned into blanks. A number touching a letter, a digit, ".", "," or ":" stays as
// written ("A4", "1,000", "3:30"), and so does one too large to spell.
std::string normalize(std::string_view text);

} // namespace quorl::EnglishTextNormalizer
