#include "QuorlAudio/foundation/StringUtils.hpp"

#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"

#include <string>

namespace quorl::StringUtils {

std::vector<std::string> characters(std::string_view text) {
    auto clusters = platform::text::graphemeClusters(text);
    for (auto& character : clusters) {
        character = platform::text::nfc(character);
    }
    return clusters;
}

int levenshteinDistance(std::string_view first, std::string_view second) {
    return levenshteinDistance(characters(first), characters(second));
}

} // namespace quorl::StringUtils
