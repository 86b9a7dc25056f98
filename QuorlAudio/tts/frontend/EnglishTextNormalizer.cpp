#include "QuorlAudio/tts/frontend/EnglishTextNormalizer.hpp"

#include "QuorlAudio/tts/frontend/SayAsInterpreter.hpp"

#include "platform/text/CharacterProperties.hpp"
#include "platform/text/DecimalInteger.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Regex.hpp"
#include "platform/text/RegexReplacement.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorl::EnglishTextNormalizer {
namespace {

namespace text = platform::text;

using Captures = text::RegexCaptures;
// The words for a match, or none to leave it as written.
using Transform = std::optional<std::string> (*)(const Captures& captures);

struct Rule {
    text::Regex regex;
    Transform transform;
};

bool containsDigit(std::string_view words) {
    return std::ranges::any_of(text::graphemeClusterViews(words), [](std::string_view character) {
        return text::hasNumericType(text::firstScalar(character));
    });
}

// Digits left in the words mean the interpreter could not spell the number, so the match stays as written.
std::optional<std::string> spokenOnly(std::string words) {
    return containsDigit(words) ? std::nullopt : std::optional(std::move(words));
}

// The spell-out joins tens and units with a hyphen ("twenty-one"); the lexicon looks words up one by one.
std::string hyphensToBlanks(std::string words) {
    std::ranges::replace(words, '-', ' ');
    return words;
}

std::string interpreted(std::string_view content, std::string_view interpretAs) {
    return SayAsInterpreter::interpret(content, interpretAs);
}

std::optional<std::string> spellMeridiemTime(const Captures& captures) {
    const std::string clock = std::string(captures[1]) + ":" + std::string(captures[2]);
    const std::optional<std::string> words = spokenOnly(hyphensToBlanks(interpreted(clock, "time")));
    if (!words) {
        return std::nullopt;
    }
    const bool afternoon = captures[3] == "p" || captures[3] == "P";
    return *words + (afternoon ? " p m" : " a m");
}

std::optional<std::string> spellDecimal(const Captures& captures) {
    const std::optional<std::string> whole = spokenOnly(hyphensToBlanks(interpreted(captures[1], "cardinal")));
    const std::optional<std::string> fraction = spokenOnly(interpreted(captures[2], "digits"));
    if (!whole || !fraction) {
        return std::nullopt;
    }
    return *whole + " point " + *fraction;
}

std::string_view expectedOrdinalSuffix(std::int64_t number) {
    const std::int64_t lastTwoDigits = number % 100;
    if (lastTwoDigits >= 11 && lastTwoDigits <= 13) {
        return "th";
    }
    constexpr std::array<std::string_view, 10> suffixes{"th", "st", "nd", "rd", "th", "th", "th", "th", "th", "th"};
    return suffixes[static_cast<std::size_t>(number % 10)];
}

// Only the suffix that belongs to the number makes an ordinal: "21st" is spelled, "21th" stays.
std::optional<std::string> spellOrdinal(const Captures& captures) {
    const std::optional<std::int64_t> number = text::decimalInteger(captures[1]);
    if (!number || captures[2] != expectedOrdinalSuffix(*number)) {
        return std::nullopt;
    }
    return spokenOnly(hyphensToBlanks(interpreted(captures[1], "ordinal")));
}

std::optional<std::string> spellLeadingZero(const Captures& captures) {
    return spokenOnly(interpreted(captures[1], "digits"));
}

std::optional<std::string> spellCardinal(const Captures& captures) {
    return spokenOnly(hyphensToBlanks(interpreted(captures[1], "cardinal")));
}

// Every rule refuses a number right after a letter, a digit, ".", "," or ":", so that parts of codes, decimals,
// grouped thousands and clock times are not read on their own.
const std::array<Rule, 5>& rules() {
    static const std::array<Rule, 5> rules{{
        {text::Regex(R"((?<![A-Za-z0-9.,:])(1[0-2]|[1-9]):([0-5][0-9])\s*([AaPp])(?:\.[Mm]\.?|[Mm])(?![A-Za-z]))"),
         spellMeridiemTime},
        {text::Regex(R"((?<![A-Za-z0-9.,:])([0-9]+)\.([0-9]+)(?![A-Za-z0-9])(?![.,:][0-9]))"), spellDecimal},
        {text::Regex(R"((?<![A-Za-z0-9.,:])([0-9]+)(st|nd|rd|th)(?![A-Za-z]))"), spellOrdinal},
        {text::Regex(R"((?<![A-Za-z0-9.,:])(0[0-9]+)(?![A-Za-z0-9])(?![.,:][0-9]))"), spellLeadingZero},
        {text::Regex(R"((?<![A-Za-z0-9.,:])([0-9]+)(?![A-Za-z0-9])(?![.,:][0-9]))"), spellCardinal},
    }};
    return rules;
}

} // namespace

std::string normalize(std::string_view text) {
    std::string normalized(text);
    for (const Rule& rule : rules()) {
        normalized = platform::text::replacingMatches(rule.regex, normalized, rule.transform);
    }
    return normalized;
}

} // namespace quorl::EnglishTextNormalizer
