#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// The text in Normalization Form C (canonical composition). Malformed UTF-8 reads as U+FFFD.
std::string nfc(std::string_view text);

// The text in Normalization Form KC (compatibility decomposition, then canonical composition): the "fi"
// ligature becomes "fi". Malformed UTF-8 reads as U+FFFD.
std::string nfkc(std::string_view text);

// The text in Normalization Form KD (compatibility decomposition): "…" becomes "...", "é" becomes "e" followed
// by a combining acute accent. Malformed UTF-8 reads as U+FFFD.
std::string nfkd(std::string_view text);

// The text without its diacritics, in NFC: every nonspacing mark of the canonical decomposition is removed
// ("Café" becomes "Cafe"); letters that merely look accented, such as "ø", stay.
std::string foldingDiacritics(std::string_view text);

// Whether two texts are canonically equivalent, that is, have the same NFC form ("é" written as one
// scalar equals "e" followed by a combining acute accent).
bool canonicallyEquivalent(std::string_view first, std::string_view second);

} // namespace platform::text
