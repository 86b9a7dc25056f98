#include "QuorlAudio/asr/biasing/TextSimilarity.hpp"

#include "QuorlAudio/foundation/StringUtils.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/CharacterCategory.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>

namespace quorl {
namespace {

bool isKept(char32_t scalar) { return platform::text::isAlphanumeric(scalar) || scalar == U'\'' || scalar == U'-'; }

bool separatesWords(char32_t scalar) { return scalar == U'\t' || scalar == U'\n' || scalar == U' '; }

char32_t firstScalar(std::string_view text) {
    std::size_t position = 0;
    return platform::text::decodeNextScalar(text, position);
}

} // namespace

std::string normalizeForSimilarity(std::string_view text) {
    std::u32string normalized;
    for (const char32_t scalar : platform::text::decodeScalars(platform::text::lowercased(text))) {
        if (isKept(scalar)) {
            normalized += scalar;
        } else if (separatesWords(scalar) && !normalized.empty() && normalized.back() != U' ') {
            normalized += U' ';
        }
    }
    return platform::text::encodeScalars(platform::text::trimmingWhiteSpaceAndLineBreaks(normalized));
}

std::size_t characterCount(std::string_view text) { return platform::text::characterCount(text); }

float stringSimilarity(std::string_view first, std::string_view second) {
    return characterSimilarity(StringUtils::characters(platform::text::lowercased(first)),
                               StringUtils::characters(platform::text::lowercased(second)));
}

float characterSimilarity(std::span<const std::string> first, std::span<const std::string> second) {
    const auto longest = std::max(first.size(), second.size());
    if (longest < 1) {
        return 1.0f;
    }
    const int distance = StringUtils::levenshteinDistance(first, second);
    return 1.0f - static_cast<float>(distance) / static_cast<float>(longest);
}

std::string preserveCapitalization(std::string_view original, std::string_view replacement) {
    if (original.empty() || replacement.empty() || !platform::text::isUppercase(firstScalar(original)) ||
        !platform::text::isLowercase(firstScalar(replacement))) {
        return std::string(replacement);
    }
    const std::string first = platform::text::graphemeClusters(replacement).front();
    return platform::text::uppercased(first) + std::string(replacement.substr(first.size()));
}

} // namespace quorl
