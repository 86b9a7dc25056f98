#include "QuorlAudio/tts/supertonic3/Supertonic3UnicodeProcessor.hpp"

#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/text/Normalization.hpp"
#include "platform/text/Regex.hpp"
#include "platform/text/TextPieces.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <stdexcept>
#include <utility>

namespace quorl {
namespace {

using platform::text::replacingAll;
using Replacement = std::pair<std::string_view, std::string_view>;

constexpr std::size_t textLength = Supertonic3Constants::textTFixed;

// Applied in this order, after compatibility decomposition: a character that decomposition has already changed
// (U+2011 becomes U+2010, U+00B4 a space and a combining accent) is no longer found.
constexpr std::array<Replacement, 17> symbolReplacements{{
    {"\u2013", "-"},
    {"\u2011", "-"},
    {"\u2014", "-"},
    {"_", " "},
    {"\u201C", "\""},
    {"\u201D", "\""},
    {"\u2018", "'"},
    {"\u2019", "'"},
    {"\u00B4", "'"},
    {"`", "'"},
    {"[", " "},
    {"]", " "},
    {"|", " "},
    {"/", " "},
    {"#", " "},
    {"\u2192", " "},
    {"\u2190", " "},
}};

constexpr std::array<std::string_view, 5> decorativeSymbols{"\u2665", "\u2606", "\u2661", "\u00A9", "\\"};

constexpr std::array<Replacement, 3> expressionReplacements{{
    {"@", " at "},
    {"e.g.,", "for example, "},
    {"i.e.,", "that is, "},
}};

constexpr std::array<Replacement, 7> spacesBeforePunctuation{{
    {" ,", ","},
    {" .", "."},
    {" !", "!"},
    {" ?", "?"},
    {" ;", ";"},
    {" :", ":"},
    {" '", "'"},
}};

constexpr std::array<Replacement, 3> doubledQuotes{{{"\"\"", "\""}, {"''", "'"}, {"``", "`"}}};

// Pictographs and emoji, bounds included; U+1F650 to U+1F67F stay.
constexpr std::array<std::pair<char32_t, char32_t>, 4> pictographRanges{{
    {0x2600, 0x27BF},
    {0x1F1E6, 0x1F1FF},
    {0x1F300, 0x1F64F},
    {0x1F680, 0x1FAFF},
}};

const platform::text::Regex& whiteSpaceRun() {
    static const platform::text::Regex regex("\\s+");
    return regex;
}

// The marks after which a final period is not needed.
const platform::text::Regex& closingMark() {
    static const platform::text::Regex regex(
        "[.!?;:,'\"\\u201C\\u201D\\u2018\\u2019)\\]}\u2026\u3002\u300D\u300F\u3011\u3009\u300B\u203A\u00BB]$");
    return regex;
}

bool isPictograph(char32_t scalar) {
    return std::ranges::any_of(pictographRanges,
                               [&](const auto& range) { return scalar >= range.first && scalar <= range.second; });
}

std::string withoutPictographs(std::string_view text) {
    std::u32string scalars = platform::text::decodeScalars(text);
    std::erase_if(scalars, isPictograph);
    return platform::text::encodeScalars(scalars);
}

template <std::size_t count> std::string replacingEach(std::string text, const std::array<Replacement, count>& table) {
    for (const auto& [found, replacement] : table) {
        text = replacingAll(text, found, replacement);
    }
    return text;
}

std::string withoutDecorations(std::string text) {
    for (const auto symbol : decorativeSymbols) {
        text = replacingAll(text, symbol, "");
    }
    return text;
}

std::string collapsingDoubledQuotes(std::string text) {
    for (const auto& [pair, single] : doubledQuotes) {
        while (text.find(pair) != std::string::npos) {
            text = replacingAll(text, pair, single);
        }
    }
    return text;
}

void checkLanguage(const std::string& language) {
    if (std::ranges::find(Supertonic3Constants::availableLanguages, language) ==
        Supertonic3Constants::availableLanguages.end()) {
        throw Supertonic3Error::unsupportedLanguage(language);
    }
}

std::vector<std::int64_t> idsOf(std::u32string_view scalars, const std::vector<std::int64_t>& indexer) {
    std::vector<std::int64_t> ids(textLength, 0);
    for (std::size_t position = 0; position < std::min(scalars.size(), textLength); ++position) {
        const char32_t value = scalars[position];
        ids[position] = value < indexer.size() ? indexer[value] : -1;
    }
    return ids;
}

std::vector<std::vector<float>> maskOf(std::size_t length) {
    std::vector<float> row(textLength, 0.0F);
    std::fill_n(row.begin(), std::min(length, textLength), 1.0F);
    return {std::move(row)};
}

} // namespace

std::string Supertonic3UnicodeProcessor::preprocess(std::string_view text, std::string_view lang) {
    std::string result = withoutPictographs(platform::text::nfkd(text));
    result = replacingEach(std::move(result), symbolReplacements);
    result = withoutDecorations(std::move(result));
    result = replacingEach(std::move(result), expressionReplacements);
    result = replacingEach(std::move(result), spacesBeforePunctuation);
    result = collapsingDoubledQuotes(std::move(result));
    result = platform::text::trimmingWhiteSpaceAndLineBreaks(whiteSpaceRun().replacingMatches(result, " "));
    if (!result.empty() && !closingMark().firstMatch(result)) {
        result += '.';
    }
    return platform::core::concatenated({"<", lang, ">", result, "</", lang, ">"});
}

Supertonic3UnicodeProcessor::Encoded
Supertonic3UnicodeProcessor::encode(const std::vector<std::string>& texts,
                                    const std::vector<std::string>& languages) const {
    if (texts.size() != languages.size()) {
        throw std::invalid_argument("Supertonic3 encode needs one language per text");
    }
    Encoded encoded;
    for (std::size_t index = 0; index < texts.size(); ++index) {
        checkLanguage(languages[index]);
        const std::u32string scalars = platform::text::decodeScalars(preprocess(texts[index], languages[index]));
        encoded.ids.push_back(idsOf(scalars, indexer));
        encoded.mask.push_back(maskOf(scalars.size()));
    }
    return encoded;
}

} // namespace quorl
