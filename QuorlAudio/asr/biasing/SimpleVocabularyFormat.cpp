#include "QuorlAudio/asr/biasing/SimpleVocabularyFormat.hpp"

#include "QuorlAudio/asr/biasing/VocabularyTermSanitizer.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <optional>
#include <string>

namespace quorl {
namespace {

using platform::text::encodeScalars;

constexpr float simpleFormatWeight = 10.0f;

// The non-empty pieces of the text between separators.
std::vector<std::u32string_view> pieces(std::u32string_view text, bool (*isSeparator)(char32_t)) {
    std::vector<std::u32string_view> found;
    std::size_t start = 0;
    for (std::size_t index = 0; index <= text.size(); ++index) {
        if (index == text.size() || isSeparator(text[index])) {
            if (index > start) {
                found.push_back(text.substr(start, index - start));
            }
            start = index + 1;
        }
    }
    return found;
}

bool isComma(char32_t scalar) { return scalar == U','; }

std::vector<std::string> aliasesOf(std::u32string_view list) {
    std::vector<std::string> aliases;
    for (const auto piece : pieces(list, isComma)) {
        if (const auto alias = platform::text::trimmingBlanks(piece); !alias.empty()) {
            aliases.push_back(encodeScalars(alias));
        }
    }
    return aliases;
}

std::optional<CustomVocabularyTerm> termOf(std::u32string_view line) {
    const auto colon = line.find(U':');
    const auto text = colon == std::u32string_view::npos ? line : platform::text::trimmingBlanks(line.substr(0, colon));
    std::string sanitized = sanitizeVocabularyTerm(encodeScalars(text)).sanitized;
    if (sanitized.empty()) {
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> aliases;
    if (colon != std::u32string_view::npos) {
        aliases = sanitizeAliases(aliasesOf(line.substr(colon + 1)));
    }
    return CustomVocabularyTerm({.text = std::move(sanitized), .weight = simpleFormatWeight, .aliases = aliases});
}

} // namespace

std::vector<CustomVocabularyTerm> parseSimpleVocabulary(std::u32string_view text) {
    std::vector<CustomVocabularyTerm> terms;
    for (const auto rawLine : pieces(text, platform::text::isLineBreak)) {
        const auto line = platform::text::trimmingWhiteSpaceAndLineBreaks(rawLine);
        if (line.empty() || line.front() == U'#') {
            continue;
        }
        if (auto term = termOf(line)) {
            terms.push_back(std::move(*term));
        }
    }
    return terms;
}

} // namespace quorl
