#include "QuorlAudio/tts/frontend/SayAsInterpreter.hpp"

#include "platform/text/CaseMapping.hpp"
#include "platform/text/CharacterProperties.hpp"
#include "platform/text/DecimalInteger.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Regex.hpp"
#include "platform/text/SpellOut.hpp"
#include "platform/text/TextPieces.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace quorl::SayAsInterpreter {
namespace {

namespace text = platform::text;

// The words of a reading; none when the content cannot be read that way, and the caller gets its text back.
using Reading = std::optional<std::string>;

constexpr std::array<std::string_view, 19> ordinalWords{
    "first",     "second",    "third",       "fourth",     "fifth",     "sixth",      "seventh",
    "eighth",    "ninth",     "tenth",       "eleventh",   "twelfth",   "thirteenth", "fourteenth",
    "fifteenth", "sixteenth", "seventeenth", "eighteenth", "nineteenth"};

constexpr std::array<std::string_view, 12> monthNames{"January",   "February", "March",    "April",
                                                      "May",       "June",     "July",     "August",
                                                      "September", "October",  "November", "December"};

constexpr std::array<std::string_view, 10> digitWords{"zero", "one", "two",   "three", "four",
                                                      "five", "six", "seven", "eight", "nine"};

// The teen words whose ordinal is not the cardinal with a suffix.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> teenOrdinals{
    {{"eleven", "eleventh"}, {"twelve", "twelfth"}, {"thirteen", "thirteenth"}}};

// How cardinal words ending in a unit become ordinal: "twenty" → "twentieth", "twenty-one" → "twenty-first".
struct OrdinalEnding {
    std::int64_t lastDigit;
    std::string_view cardinal;
    std::string_view ordinal;
};
constexpr std::array<OrdinalEnding, 7> ordinalEndings{{{0, "y", "ieth"},
                                                       {1, "one", "first"},
                                                       {2, "two", "second"},
                                                       {3, "three", "third"},
                                                       {5, "five", "fifth"},
                                                       {8, "eight", "eighth"},
                                                       {9, "nine", "ninth"}}};

// Each letter of a date format reads the component at its position: m the month, d the day, y the year.
constexpr std::array<std::string_view, 8> dateFormats{"mdy", "dmy", "ymd", "md", "dm", "y", "m", "d"};

const text::Regex& digitPattern() {
    static const text::Regex regex("\\d+");
    return regex;
}

const text::Regex& minutePattern() {
    static const text::Regex regex("(\\d+)'");
    return regex;
}

const text::Regex& secondPattern() {
    static const text::Regex regex("(\\d+)\"");
    return regex;
}

std::string cardinalWords(std::int64_t number) { return text::englishSpellOut(number); }

bool isNumericCharacter(std::string_view character) { return text::hasNumericType(text::firstScalar(character)); }

template <class Keep> std::string keptCharacters(std::string_view content, Keep keep) {
    std::string kept;
    for (const std::string_view character : text::graphemeClusterViews(content)) {
        if (keep(character)) {
            kept.append(character);
        }
    }
    return kept;
}

std::string addOrdinalSuffix(std::string words, std::int64_t number) {
    const std::int64_t lastTwoDigits = number % 100;
    if (lastTwoDigits >= 11 && lastTwoDigits <= 13) {
        const auto& [teen, ordinal] = teenOrdinals[static_cast<std::size_t>(lastTwoDigits - 11)];
        if (words.ends_with(teen)) {
            return words.replace(words.size() - teen.size(), teen.size(), ordinal);
        }
    }
    for (const OrdinalEnding& ending : ordinalEndings) {
        if (number % 10 == ending.lastDigit && words.ends_with(ending.cardinal)) {
            return words.replace(words.size() - ending.cardinal.size(), ending.cardinal.size(), ending.ordinal);
        }
    }
    return words + "th";
}

std::string ordinalWord(std::int64_t number) {
    if (number >= 1 && number <= 19) {
        return std::string(ordinalWords[static_cast<std::size_t>(number - 1)]);
    }
    std::string words = cardinalWords(number);
    if (words.empty()) {
        return std::to_string(number) + "th";
    }
    return addOrdinalSuffix(std::move(words), number);
}

Reading interpretCharacters(std::string_view content) {
    std::string spelled;
    for (const std::string_view character : text::graphemeClusterViews(content)) {
        if (!spelled.empty()) {
            spelled += ' ';
        }
        spelled.append(character);
    }
    return spelled;
}

Reading interpretCardinal(std::string_view content) {
    const std::string kept = keptCharacters(
        content, [](std::string_view character) { return character == "-" || isNumericCharacter(character); });
    const std::optional<std::int64_t> number = text::decimalInteger(kept);
    if (!number) {
        return std::nullopt;
    }
    std::string words = cardinalWords(*number);
    return words.empty() ? Reading() : Reading(std::move(words));
}

Reading interpretOrdinal(std::string_view content) {
    const std::optional<std::int64_t> number = text::decimalInteger(keptCharacters(content, isNumericCharacter));
    return number ? Reading(ordinalWord(*number)) : Reading();
}

// Never gives up: content without a single digit reads as no words at all.
Reading interpretDigits(std::string_view content) {
    std::vector<std::string> words;
    for (const std::string_view character : text::graphemeClusterViews(content)) {
        const std::optional<std::int64_t> digit = text::decimalInteger(character);
        if (digit && *digit >= 0 && *digit <= 9) {
            words.emplace_back(digitWords[static_cast<std::size_t>(*digit)]);
        }
    }
    return text::joined(words, " ");
}

Reading interpretTelephone(std::string_view content) {
    return interpretDigits(keptCharacters(content, isNumericCharacter));
}

// A year is read in pairs of digits ("nineteen eighty-four", "nineteen oh five", "nineteen hundred"), except the
// first decade of this millennium ("two thousand five") and whole thousands, which read as cardinals ("three
// thousand": pairs would give "thirty hundred").
std::string interpretYear(std::int64_t year) {
    if (year < 1000 || year > 9999 || year % 1000 == 0) {
        const std::string digits = std::to_string(year);
        return interpretCardinal(digits).value_or(digits);
    }
    const std::int64_t century = year / 100;
    const std::int64_t rest = year % 100;
    if (rest == 0) {
        return cardinalWords(century) + " hundred";
    }
    if (year > 2000 && year < 2010) {
        return "two thousand " + cardinalWords(rest);
    }
    return cardinalWords(century) + (rest < 10 ? " oh " : " ") + cardinalWords(rest);
}

std::vector<std::int64_t> extractDateComponents(std::string_view content) {
    std::vector<std::int64_t> components;
    for (const text::RegexMatch& match : digitPattern().matches(content)) {
        if (const auto component = text::decimalInteger(match.captured(content, 0))) {
            components.push_back(*component);
        }
    }
    return components;
}

// Empty when there are fewer components than the format reads or the month is not 1 to 12.
std::string formatDate(const std::vector<std::int64_t>& components, std::string_view format) {
    const std::string_view layout = std::ranges::find(dateFormats, format) != dateFormats.end() ? format : "mdy";
    if (components.size() < layout.size()) {
        return {};
    }
    std::vector<std::string> words;
    for (std::size_t index = 0; index < layout.size(); ++index) {
        const std::int64_t component = components[index];
        if (layout[index] == 'm') {
            if (component < 1 || component > 12) {
                return {};
            }
            words.emplace_back(monthNames[static_cast<std::size_t>(component - 1)]);
        } else {
            words.push_back(layout[index] == 'd' ? ordinalWord(component) : interpretYear(component));
        }
    }
    return text::joined(words, " ");
}

Reading interpretDate(std::string_view content, std::optional<std::string_view> format) {
    const std::vector<std::int64_t> components = extractDateComponents(content);
    if (components.empty()) {
        return std::nullopt;
    }
    std::string words = formatDate(components, format ? text::lowercased(*format) : "mdy");
    return words.empty() ? Reading() : Reading(std::move(words));
}

std::int64_t durationAmount(const text::Regex& pattern, std::string_view content) {
    const std::optional<text::RegexMatch> match = pattern.firstMatch(content);
    return match ? text::decimalInteger(match->captured(content, 1)).value_or(0) : 0;
}

void appendDurationPart(std::vector<std::string>& parts, std::int64_t amount, std::string_view unit) {
    if (amount >= 1) {
        parts.push_back(cardinalWords(amount) + " " + std::string(unit) + (amount == 1 ? "" : "s"));
    }
}

Reading interpretDuration(std::string_view content) {
    std::vector<std::string> parts;
    appendDurationPart(parts, durationAmount(minutePattern(), content), "minute");
    appendDurationPart(parts, durationAmount(secondPattern(), content), "second");
    return parts.empty() ? Reading() : Reading(text::joined(parts, " "));
}

Reading interpretClockTime(std::string_view content) {
    std::vector<std::int64_t> numbers;
    for (const std::string_view piece : text::splitDroppingEmpty(content, ':')) {
        if (const auto number = text::decimalInteger(text::trimmingBlanks(piece))) {
            numbers.push_back(*number);
        }
    }
    if (numbers.size() < 2) {
        return std::nullopt;
    }
    const std::int64_t hours = numbers[0];
    const std::int64_t minutes = numbers[1];
    if (minutes == 0) {
        return cardinalWords(hours) + " o'clock";
    }
    return cardinalWords(hours) + (minutes >= 1 && minutes <= 9 ? " oh " : " ") + cardinalWords(minutes);
}

Reading interpretTime(std::string_view content) {
    if (content.find_first_of("'\"") != std::string_view::npos) {
        return interpretDuration(content);
    }
    if (content.find(':') != std::string_view::npos) {
        return interpretClockTime(content);
    }
    return std::nullopt;
}

std::string spellFraction(std::int64_t numerator, std::int64_t denominator) {
    if (denominator == 2 || denominator == 4) {
        const bool halves = denominator == 2;
        if (numerator == 1) {
            return halves ? "one half" : "one quarter";
        }
        return cardinalWords(numerator) + (halves ? " halves" : " quarters");
    }
    return cardinalWords(numerator) + " " + ordinalWord(denominator) + (numerator == 1 ? "" : "s");
}

Reading parseFractionPart(std::string_view part) {
    const std::vector<std::string_view> pieces = text::splitDroppingEmpty(part, '/');
    if (pieces.size() != 2) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> numerator = text::decimalInteger(text::trimmingBlanks(pieces[0]));
    const std::optional<std::int64_t> denominator = text::decimalInteger(text::trimmingBlanks(pieces[1]));
    if (!numerator || !denominator || *denominator <= 0) {
        return std::nullopt;
    }
    return spellFraction(*numerator, *denominator);
}

// A whole number may stand before the fraction, after a blank or a "+": "2 1/3", "1+1/2".
Reading interpretFraction(std::string_view content) {
    std::string separated(content);
    std::ranges::replace(separated, '+', ' ');
    const std::vector<std::string_view> pieces = text::splitDroppingEmpty(separated, ' ');
    if (pieces.size() == 2) {
        const std::optional<std::int64_t> whole = text::decimalInteger(pieces[0]);
        const Reading fraction = parseFractionPart(pieces[1]);
        if (whole && fraction) {
            return cardinalWords(*whole) + " and " + *fraction;
        }
    }
    return parseFractionPart(content);
}

using Expansion = Reading (*)(std::string_view content, std::optional<std::string_view> format);

template <Reading (*read)(std::string_view)>
Reading withoutFormat(std::string_view content, std::optional<std::string_view>) {
    return read(content);
}

constexpr std::array<std::pair<std::string_view, Expansion>, 10> expansions{{
    {"characters", withoutFormat<interpretCharacters>},
    {"spell-out", withoutFormat<interpretCharacters>},
    {"cardinal", withoutFormat<interpretCardinal>},
    {"number", withoutFormat<interpretCardinal>},
    {"ordinal", withoutFormat<interpretOrdinal>},
    {"digits", withoutFormat<interpretDigits>},
    {"date", interpretDate},
    {"time", withoutFormat<interpretTime>},
    {"telephone", withoutFormat<interpretTelephone>},
    {"fraction", withoutFormat<interpretFraction>},
}};

} // namespace

std::string interpret(std::string_view content, std::string_view interpretAs, std::optional<std::string_view> format) {
    const std::string key(text::trimmingBlanks(text::lowercased(interpretAs)));
    const auto expansion = std::ranges::find(expansions, key, &std::pair<std::string_view, Expansion>::first);
    if (expansion == expansions.end()) {
        return std::string(content);
    }
    const std::string_view trimmed = text::trimmingBlanks(content);
    return expansion->second(trimmed, format).value_or(std::string(trimmed));
}

} // namespace quorl::SayAsInterpreter
