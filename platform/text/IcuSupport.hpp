#pragma once

#include <unicode/unistr.h>
#include <unicode/utypes.h>

#include <string>
#include <string_view>

// Glue between this layer's UTF-8 strings and ICU, shared by the layer's sources.
namespace platform::text::icuSupport {

// Malformed UTF-8 sequences become U+FFFD, as everywhere in this layer. A text too long for ICU's
// 32-bit lengths throws a SystemError of domain "ICU".
icu::UnicodeString fromUtf8(std::string_view text);

std::string toUtf8(const icu::UnicodeString& text);

// Throws a SystemError of domain "ICU" carrying the status and its name when the status is a failure.
void check(UErrorCode status, std::string_view operation);

} // namespace platform::text::icuSupport
