#pragma once

#include <string>
#include <string_view>

namespace platform::text {

// The text in Normalization Form C (canonical composition). Malformed UTF-8 reads as U+FFFD.
std::string nfc(std::string_view text);

// Whether two texts are canonically equivalent, that is, have the same NFC form ("é" written as one
// scalar equals "e" followed by a combining acute accent).
bool canonicallyEquivalent(std::string_view first, std::string_view second);

} // namespace platform::text
