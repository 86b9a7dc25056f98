#include "QuorlAudio/tts/frontend/SSMLTagParser.hpp"

#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Regex.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>

namespace quorl::SSMLTagParser {
namespace {

namespace text = platform::text;

using TagType = SSMLParsedTag::TagType;
// The element's type from its attribute text and content; none when a required attribute is missing.
using TagBuilder = std::optional<TagType> (*)(std::string_view attributes, std::string_view content);

constexpr text::RegexOptions ignoringCase{.caseInsensitive = true};

// The value of `name="…"` or `name='…'`; the two quotes need not match.
text::Regex attributePattern(std::string_view name) {
    return text::Regex("\\b" + std::string(name) + R"(\s*=\s*["']([^"']*)["'])", ignoringCase);
}

std::optional<std::string> valueOf(const text::Regex& attribute, std::string_view attributes) {
    const std::optional<text::RegexMatch> match = attribute.firstMatch(attributes);
    return match ? std::optional(std::string(match->captured(attributes, 1))) : std::nullopt;
}

std::optional<TagType> phonemeTag(std::string_view attributes, std::string_view content) {
    static const text::Regex ph = attributePattern("ph");
    static const text::Regex alphabet = attributePattern("alphabet");
    std::optional<std::string> pronunciation = valueOf(ph, attributes);
    if (!pronunciation) {
        return std::nullopt;
    }
    return SSMLParsedTag::Phoneme{.alphabet = valueOf(alphabet, attributes).value_or("ipa"),
                                  .ph = std::move(*pronunciation),
                                  .content = std::string(content)};
}

std::optional<TagType> subTag(std::string_view attributes, std::string_view content) {
    static const text::Regex alias = attributePattern("alias");
    std::optional<std::string> substitute = valueOf(alias, attributes);
    if (!substitute) {
        return std::nullopt;
    }
    return SSMLParsedTag::Sub{.alias = std::move(*substitute), .content = std::string(content)};
}

std::optional<TagType> sayAsTag(std::string_view attributes, std::string_view content) {
    static const text::Regex interpretAs = attributePattern("interpret-as");
    static const text::Regex format = attributePattern("format");
    std::optional<std::string> sayAsClass = valueOf(interpretAs, attributes);
    if (!sayAsClass) {
        return std::nullopt;
    }
    return SSMLParsedTag::SayAs{
        .interpretAs = std::move(*sayAsClass), .format = valueOf(format, attributes), .content = std::string(content)};
}

// Group 1 is the attribute text, group 2 the content, which holds no "<": elements cannot nest.
struct ElementPattern {
    text::Regex regex;
    TagBuilder build;
};

const std::array<ElementPattern, 3>& elementPatterns() {
    static const std::array<ElementPattern, 3> patterns{{
        {text::Regex(R"(<phoneme\s+([^>]+)>([^<]*)</phoneme>)", ignoringCase), phonemeTag},
        {text::Regex(R"(<sub\s+([^>]+)>([^<]*)</sub>)", ignoringCase), subTag},
        {text::Regex(R"(<say-as\s+([^>]+)>([^<]*)</say-as>)", ignoringCase), sayAsTag},
    }};
    return patterns;
}

bool isCharacterBoundary(const std::vector<std::size_t>& boundaries, std::size_t offset) {
    return std::ranges::binary_search(boundaries, offset);
}

void enumerateMatches(const ElementPattern& pattern, std::string_view text, const std::vector<std::size_t>& boundaries,
                      std::vector<SSMLParsedTag>& tags) {
    for (const text::RegexMatch& match : pattern.regex.matches(text)) {
        const text::TextRange range = match.range();
        if (!isCharacterBoundary(boundaries, range.start) || !isCharacterBoundary(boundaries, range.end)) {
            continue;
        }
        if (std::optional<TagType> type = pattern.build(match.captured(text, 1), match.captured(text, 2))) {
            tags.push_back(SSMLParsedTag{.type = std::move(*type), .range = range});
        }
    }
}

} // namespace

std::vector<SSMLParsedTag> parse(std::string_view text) {
    const std::vector<std::size_t> boundaries = text::graphemeBoundaries(text);
    std::vector<SSMLParsedTag> tags;
    for (const ElementPattern& pattern : elementPatterns()) {
        enumerateMatches(pattern, text, boundaries, tags);
    }
    std::ranges::stable_sort(tags, std::ranges::greater(), [](const SSMLParsedTag& tag) { return tag.range.start; });
    return tags;
}

} // namespace quorl::SSMLTagParser
