#include "platform/text/WordCharacters.hpp"

#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"

namespace platform::text {

std::string keepingWordCharacters(std::string_view text) {
    std::string kept;
    for (const auto character : graphemeClusterViews(text)) {
        const char32_t first = firstScalar(character);
        if (isAlphabetic(first) || hasNumericType(first) || character == "_") {
            kept += character;
        }
    }
    return kept;
}

} // namespace platform::text
