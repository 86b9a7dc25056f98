#include "platform/core/AsciiCase.hpp"

#include <algorithm>

namespace platform::core {

char asciiLowercased(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

std::string asciiLowercased(std::string_view text) {
    std::string result(text);
    std::ranges::transform(result, result.begin(), [](char character) { return asciiLowercased(character); });
    return result;
}

bool equalIgnoringAsciiCase(std::string_view left, std::string_view right) {
    return std::ranges::equal(left, right, [](char a, char b) { return asciiLowercased(a) == asciiLowercased(b); });
}

} // namespace platform::core
