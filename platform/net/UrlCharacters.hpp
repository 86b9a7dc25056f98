#pragma once

#include <string>
#include <string_view>

namespace platform::net::detail {

// Character classes of RFC 3986 and its percent escapes, shared by URL parsing and encoding.
bool isAlpha(char character);
bool isDigit(char character);
bool isHexDigit(char character);
bool isUnreserved(char character);
bool isSubDelimiter(char character);
bool isGeneralDelimiter(char character);

// Whether every "%" in the text starts a complete escape of two hexadecimal digits.
bool hasWellFormedEscapes(std::string_view text);

// The text with its escapes turned back into bytes; the text must have well-formed escapes.
std::string percentDecode(std::string_view text);

} // namespace platform::net::detail
