#include "QuorlAudio/tts/frontend/SSMLProcessor.hpp"

#include "QuorlAudio/tts/frontend/SSMLTagParser.hpp"
#include "QuorlAudio/tts/frontend/SayAsInterpreter.hpp"

#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/TextPieces.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace quorl::SSMLProcessor {
namespace {

namespace text = platform::text;

// Apostrophes that belong to a word, besides letters and numbers. The right single quotation mark is not one
// of them: it more often closes a quotation than it elides a letter.
constexpr std::array<std::string_view, 5> phoneticApostropheCharacters{"'", "\u02BC", "\u201B", "\u2035", "\u2032"};

// Emoji count as word characters, and by the Unicode emoji properties so do the ASCII digits, "#" and "*".
bool isEmoji(std::string_view character) {
    return std::ranges::any_of(text::decodeScalars(character), [](char32_t scalar) {
        return text::isEmoji(scalar) || text::isEmojiPresentation(scalar);
    });
}

bool isWordCharacter(std::string_view character) {
    const char32_t first = text::firstScalar(character);
    return text::isAlphabetic(first) || text::hasNumericType(first) ||
           std::ranges::find(phoneticApostropheCharacters, character) != phoneticApostropheCharacters.end() ||
           isEmoji(character);
}

// The words of the text that each end with a separator; a word running up to the end is not counted, since the
// element after it may continue it.
int countWords(std::string_view textBefore) {
    int count = 0;
    bool inWord = false;
    for (const std::string_view character : text::graphemeClusterViews(textBefore)) {
        if (isWordCharacter(character)) {
            inWord = true;
        } else if (inWord) {
            ++count;
            inWord = false;
        }
    }
    return count;
}

std::vector<std::string> tokenizePhonemes(std::string_view ph) {
    const std::string_view trimmed = text::trimmingBlanks(ph);
    if (trimmed.find(' ') == std::string_view::npos) {
        return {std::string(trimmed)};
    }
    const std::vector<std::string_view> pieces = text::splitDroppingEmpty(trimmed, ' ');
    return std::vector<std::string>(pieces.begin(), pieces.end());
}

std::vector<std::string> scalarTokens(std::string_view ph) {
    std::vector<std::string> tokens;
    for (const char32_t scalar : text::decodeScalars(ph)) {
        tokens.push_back(text::encodeScalars(std::u32string_view(&scalar, 1)));
    }
    return tokens;
}

TtsPhoneticOverride phoneticOverride(const SSMLParsedTag::Phoneme& phoneme, int wordIndex) {
    return TtsPhoneticOverride{.wordIndex = wordIndex,
                               .tokens = tokenizePhonemes(phoneme.ph),
                               .scalarTokens = scalarTokens(phoneme.ph),
                               .raw = phoneme.ph,
                               .word = std::string(text::trimmingBlanks(phoneme.content))};
}

// Appends the element's replacement to the processed text, and its override for a phoneme element.
void replaceElement(const SSMLParsedTag::TagType& type, std::string& processed,
                    std::vector<TtsPhoneticOverride>& overrides) {
    if (const auto* sub = std::get_if<SSMLParsedTag::Sub>(&type)) {
        processed.append(sub->alias);
    } else if (const auto* sayAs = std::get_if<SSMLParsedTag::SayAs>(&type)) {
        processed.append(SayAsInterpreter::interpret(sayAs->content, sayAs->interpretAs, sayAs->format));
    } else {
        const auto& phoneme = std::get<SSMLParsedTag::Phoneme>(type);
        overrides.push_back(phoneticOverride(phoneme, countWords(processed)));
        processed.append(phoneme.content);
    }
}

} // namespace

// The elements are replaced from left to right, so that a phoneme element's words are counted in the text the
// caller gets back, with the elements before it already replaced.
SSMLProcessingResult process(std::string_view text) {
    if (text.find('<') == std::string_view::npos) {
        return {.text = std::string(text), .phoneticOverrides = {}};
    }
    const std::vector<SSMLParsedTag> tags = SSMLTagParser::parse(text);
    SSMLProcessingResult result;
    std::size_t copied = 0;
    for (auto tag = tags.rbegin(); tag != tags.rend(); ++tag) {
        result.text.append(text.substr(copied, tag->range.start - copied));
        replaceElement(tag->type, result.text, result.phoneticOverrides);
        copied = tag->range.end;
    }
    result.text.append(text.substr(copied));
    // Overrides of equal index (elements with no separator between them) come last element first.
    std::ranges::reverse(result.phoneticOverrides);
    std::ranges::stable_sort(result.phoneticOverrides, {}, &TtsPhoneticOverride::wordIndex);
    return result;
}

} // namespace quorl::SSMLProcessor
