#include "QuorlAudio/tts/frontend/MandarinNumberNormalizer.hpp"

#include "platform/text/CharacterProperties.hpp"
#include "platform/text/DecimalInteger.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Regex.hpp"
#include "platform/text/RegexReplacement.hpp"
#include "platform/text/Utf8.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

namespace quorl::MandarinNumberNormalizer {
namespace {

namespace text = platform::text;

constexpr std::array<std::string_view, 10> digits{"零", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
constexpr std::array<std::string_view, 4> groupUnits{"", "万", "亿", "兆"};
constexpr std::uint64_t groupBase = 10000;

using Captures = text::RegexCaptures;
using Transform = std::string (*)(const Captures& captures);

struct Rule {
    text::Regex regex;
    Transform transform;
};

std::string_view digit(std::uint64_t value) { return digits[static_cast<std::size_t>(value)]; }

std::optional<std::uint64_t> digitValue(std::string_view character) {
    const std::u32string scalars = text::decodeScalars(character);
    const std::optional<double> value = scalars.size() == 1 ? text::numericValue(scalars[0]) : std::nullopt;
    if (!value || *value < 0 || *value > 9 || std::floor(*value) != *value) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(*value);
}

std::string tensAndUnits(std::uint64_t n, bool isHighest) {
    const std::uint64_t tens = n / 10 % 10;
    const std::uint64_t units = n % 10;
    std::string written;
    if (tens > 0) {
        if (n >= 1000 && n / 100 % 10 == 0) {
            written += "零";
        }
        const bool bareTen = n >= 10 && n <= 19 && isHighest;
        written += bareTen ? std::string("十") : std::string(digit(tens)) + "十";
        if (units > 0) {
            written += digit(units);
        }
    } else if (units > 0) {
        written += n >= 100 ? std::string("零") + std::string(digit(units)) : std::string(digit(units));
    }
    return written;
}

// One group of four digits, 1 to 9999; "十" alone stands for 10 to 19 only at the head of the number.
std::string fourDigitChunk(std::uint64_t n, bool isHighest) {
    std::string written;
    if (n >= 1000) {
        written += std::string(digit(n / 1000)) + "千";
    }
    if (const std::uint64_t hundreds = n / 100 % 10; hundreds > 0) {
        written += std::string(digit(hundreds)) + "百";
    }
    return written + tensAndUnits(n, isHighest);
}

// Works on the magnitude as unsigned, so that the most negative 64-bit value has one too.
std::string cardinalOfMagnitude(std::uint64_t value) {
    std::vector<std::uint64_t> groups;
    for (std::uint64_t rest = value; rest > 0; rest /= groupBase) {
        groups.push_back(rest % groupBase);
    }
    if (groups.size() > groupUnits.size()) {
        return digitString(std::to_string(value));
    }
    std::string written;
    for (std::size_t k = groups.size(); k-- > 0;) {
        if (groups[k] == 0) {
            continue;
        }
        if (!written.empty() && groups[k] < 1000) {
            written += "零";
        }
        written += fourDigitChunk(groups[k], written.empty());
        written += groupUnits[k];
    }
    return written;
}

std::string intToHanzi(std::string_view number) {
    const std::optional<std::int64_t> value = text::decimalInteger(number);
    return value ? cardinal(*value) : std::string(number);
}

std::string wholePart(std::string_view number) {
    return text::decimalInteger(number) ? intToHanzi(number) : digitString(number);
}

std::string fullDate(const Captures& c) {
    return digitString(c[1]) + "年" + intToHanzi(c[2]) + "月" + intToHanzi(c[3]) + "日";
}
std::string yearAndMonth(const Captures& c) { return digitString(c[1]) + "年" + intToHanzi(c[2]) + "月"; }
std::string year(const Captures& c) { return digitString(c[1]) + "年"; }
std::string clockWithSeconds(const Captures& c) {
    return intToHanzi(c[1]) + "点" + intToHanzi(c[2]) + "分" + intToHanzi(c[3]) + "秒";
}
std::string clock(const Captures& c) { return intToHanzi(c[1]) + "点" + intToHanzi(c[2]) + "分"; }
std::string yuan(const Captures& c) { return decimal(c[1]) + "元"; }
std::string dollars(const Captures& c) { return decimal(c[1]) + "美元"; }
std::string euros(const Captures& c) { return decimal(c[1]) + "欧元"; }
std::string pounds(const Captures& c) { return decimal(c[1]) + "英镑"; }
std::string percent(const Captures& c) { return "百分之" + decimal(c[1]); }
std::string fraction(const Captures& c) { return intToHanzi(c[2]) + "分之" + intToHanzi(c[1]); }
std::string decimalNumber(const Captures& c) { return decimal(c[0]); }
std::string integer(const Captures& c) { return intToHanzi(c[0]); }

// In order of application: a number read by an earlier rule is no longer digits for a later one. Compiled once;
// the patterns are fixed.
const std::array<Rule, 14>& pipeline() {
    static const std::array<Rule, 14> rules{{
        {text::Regex(R"((\d{4})年(\d{1,2})月(\d{1,2})[日号])"), fullDate},
        {text::Regex(R"((\d{4})年(\d{1,2})月)"), yearAndMonth},
        {text::Regex(R"((\d{4})[-/](\d{1,2})[-/](\d{1,2})\b)"), fullDate},
        {text::Regex(R"((\d{4})年)"), year},
        {text::Regex(R"((\d{1,2}):(\d{2}):(\d{2}))"), clockWithSeconds},
        {text::Regex(R"((\d{1,2}):(\d{2}))"), clock},
        {text::Regex(R"([¥￥](\d+(?:\.\d+)?))"), yuan},
        {text::Regex(R"(\$(\d+(?:\.\d+)?))"), dollars},
        {text::Regex(R"(€(\d+(?:\.\d+)?))"), euros},
        {text::Regex(R"(£(\d+(?:\.\d+)?))"), pounds},
        {text::Regex(R"((\d+(?:\.\d+)?)%)"), percent},
        {text::Regex(R"((\d+)/(\d+))"), fraction},
        {text::Regex(R"(\d+\.\d+)"), decimalNumber},
        {text::Regex(R"(\d+)"), integer},
    }};
    return rules;
}

} // namespace

std::string normalize(std::string_view text) {
    std::string normalized(text);
    for (const Rule& rule : pipeline()) {
        normalized = platform::text::replacingMatches(rule.regex, normalized, rule.transform);
    }
    return normalized;
}

std::string cardinal(std::int64_t value) {
    if (value == 0) {
        return std::string(digits[0]);
    }
    if (value < 0) {
        return "负" + cardinalOfMagnitude(0 - static_cast<std::uint64_t>(value));
    }
    return cardinalOfMagnitude(static_cast<std::uint64_t>(value));
}

std::string decimal(std::string_view text) {
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos) {
        return wholePart(text);
    }
    std::string_view fractionDigits = text.substr(point + 1);
    while (fractionDigits.size() >= 2 && fractionDigits.ends_with('0')) {
        fractionDigits.remove_suffix(1);
    }
    const std::string whole = wholePart(text.substr(0, point));
    if (fractionDigits.empty() || fractionDigits == "0") {
        return whole;
    }
    return whole + "点" + digitString(fractionDigits);
}

std::string digitString(std::string_view text) {
    std::string written;
    for (const std::string_view character : text::graphemeClusterViews(text)) {
        if (const std::optional<std::uint64_t> value = digitValue(character)) {
            written += digit(*value);
        } else if (character == "-") {
            written += "负";
        } else if (character == ".") {
            written += "点";
        }
    }
    return written;
}

} // namespace quorl::MandarinNumberNormalizer
