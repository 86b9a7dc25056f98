#include "platform/net/UrlCharacters.hpp"

#include <cstddef>

namespace platform::net::detail {

namespace {

int hexValue(char character) {
    if (isDigit(character)) {
        return character - '0';
    }
    if (character >= 'a' && character <= 'f') {
        return character - 'a' + 10;
    }
    return character - 'A' + 10;
}

} // namespace

bool isAlpha(char character) {
    return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
}

bool isDigit(char character) { return character >= '0' && character <= '9'; }

bool isHexDigit(char character) {
    return isDigit(character) || (character >= 'a' && character <= 'f') || (character >= 'A' && character <= 'F');
}

bool isUnreserved(char character) {
    return isAlpha(character) || isDigit(character) ||
           std::string_view("-._~").find(character) != std::string_view::npos;
}

bool isSubDelimiter(char character) {
    return std::string_view("!$&'()*+,;=").find(character) != std::string_view::npos;
}

bool isGeneralDelimiter(char character) {
    return std::string_view(":/?#[]@").find(character) != std::string_view::npos;
}

bool hasWellFormedEscapes(std::string_view text) {
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] != '%') {
            continue;
        }
        if (index + 2 >= text.size() || !isHexDigit(text[index + 1]) || !isHexDigit(text[index + 2])) {
            return false;
        }
        index += 2;
    }
    return true;
}

std::string percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (text[index] == '%' && index + 2 < text.size()) {
            decoded.push_back(static_cast<char>(hexValue(text[index + 1]) * 16 + hexValue(text[index + 2])));
            index += 2;
        } else {
            decoded.push_back(text[index]);
        }
    }
    return decoded;
}

} // namespace platform::net::detail
