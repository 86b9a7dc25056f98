#include "QuorlAudio/asr/biasing/VocabularyTermSanitizer.hpp"

#include "platform/text/CharacterCategory.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>

namespace quorl {
namespace {

bool anyScalar(std::string_view text, bool (*test)(char32_t)) {
    const std::u32string scalars = platform::text::decodeScalars(text);
    return std::ranges::any_of(scalars, test);
}

bool isWhiteSpace(char32_t scalar) { return platform::text::isBlank(scalar) || platform::text::isLineBreak(scalar); }

// A character is white space when its first scalar is.
bool isWhiteSpaceCharacter(std::string_view character) {
    std::size_t position = 0;
    return isWhiteSpace(platform::text::decodeNextScalar(character, position));
}

std::string withoutWhiteSpaceButSpaces(std::string_view text) {
    std::string kept;
    for (const auto& character : platform::text::graphemeClusters(text)) {
        if (character == " " || !isWhiteSpaceCharacter(character)) {
            kept += character;
        }
    }
    return kept;
}

bool isUsualScalar(char32_t scalar) {
    return platform::text::isLetter(scalar) || platform::text::isMark(scalar) ||
           platform::text::isSpaceSeparator(scalar) || scalar == U'\t' || scalar == U'-' || scalar == U'\'';
}

} // namespace

SanitizedTerm sanitizeVocabularyTerm(std::string_view term) {
    SanitizedTerm result{.sanitized = std::string(term), .warnings = {}};
    if (anyScalar(term, platform::text::isControlOrFormat)) {
        result.warnings.emplace_back("contains control characters");
        result.sanitized = withoutWhiteSpaceButSpaces(term);
    }
    const std::string& text = result.sanitized;
    if (!platform::text::canonicallyEquivalent(platform::text::foldingDiacritics(text), text)) {
        result.warnings.emplace_back("contains diacritics - consider adding ASCII alias");
    }
    if (anyScalar(text, platform::text::isDecimalDigit)) {
        result.warnings.emplace_back("contains numbers");
    }
    if (!std::ranges::all_of(platform::text::decodeScalars(text), isUsualScalar)) {
        result.warnings.emplace_back("contains unusual characters");
    }
    return result;
}

std::optional<std::vector<std::string>> sanitizeAliases(const std::vector<std::string>& aliases) {
    std::vector<std::string> kept;
    for (const auto& alias : aliases) {
        if (auto cleaned = sanitizeVocabularyTerm(alias).sanitized; !cleaned.empty()) {
            kept.push_back(std::move(cleaned));
        }
    }
    if (kept.empty()) {
        return std::nullopt;
    }
    return kept;
}

} // namespace quorl
