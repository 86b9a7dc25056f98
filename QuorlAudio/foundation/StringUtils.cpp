#include "QuorlAudio/foundation/StringUtils.hpp"

#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"

#include <string>

namespace quorl::StringUtils {
namespace {

// Each character in NFC, so that plain string equality is canonical equivalence.
std::vector<std::string> normalizedCharacters(std::string_view text) {
    auto characters = platform::text::graphemeClusters(text);
    for (auto& character : characters) {
        character = platform::text::nfc(character);
    }
    return characters;
}

} // namespace

int levenshteinDistance(std::string_view first, std::string_view second) {
    return levenshteinDistance(normalizedCharacters(first), normalizedCharacters(second));
}

} // namespace quorl::StringUtils
