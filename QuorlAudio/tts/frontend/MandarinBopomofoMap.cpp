#include "QuorlAudio/tts/frontend/MandarinBopomofoMap.hpp"

#include <algorithm>

namespace quorl::MandarinBopomofoMap {
namespace {

std::string initialOf(std::string_view syllable) {
    const auto found = std::ranges::find_if(
        initials(), [syllable](const std::string& initial) { return syllable.starts_with(initial); });
    return found == initials().end() ? std::string() : *found;
}

bool isPalatal(std::string_view initial) { return initial == "j" || initial == "q" || initial == "x"; }

// After an initial, pinyin writes "uei", "uen" and "iou" short.
void expandShortFinal(std::string& final) {
    if (final == "ui") {
        final = "uei";
    } else if (final == "un") {
        final = "uen";
    } else if (final == "iu") {
        final = "iou";
    }
}

std::optional<std::string> symbolOf(const std::unordered_map<std::string, std::string>& map, const std::string& key) {
    const auto found = map.find(key);
    return found == map.end() ? std::nullopt : std::optional(found->second);
}

} // namespace

const std::vector<std::string>& initials() {
    static const std::vector<std::string> initials{"zh", "ch", "sh", "b", "p", "m", "f", "d", "t", "n", "l",
                                                   "g",  "k",  "h",  "j", "q", "x", "r", "z", "c", "s"};
    return initials;
}

const std::unordered_map<std::string, std::string>& initialMap() {
    static const std::unordered_map<std::string, std::string> map{
        {"b", "ㄅ"},  {"p", "ㄆ"},  {"m", "ㄇ"},  {"f", "ㄈ"}, {"d", "ㄉ"}, {"t", "ㄊ"}, {"n", "ㄋ"},
        {"l", "ㄌ"},  {"g", "ㄍ"},  {"k", "ㄎ"},  {"h", "ㄏ"}, {"j", "ㄐ"}, {"q", "ㄑ"}, {"x", "ㄒ"},
        {"zh", "ㄓ"}, {"ch", "ㄔ"}, {"sh", "ㄕ"}, {"r", "ㄖ"}, {"z", "ㄗ"}, {"c", "ㄘ"}, {"s", "ㄙ"},
    };
    return map;
}

const std::unordered_map<std::string, std::string>& finalMap() {
    static const std::unordered_map<std::string, std::string> map{
        {"a", "ㄚ"},    {"o", "ㄛ"},   {"e", "ㄜ"},   {"ie", "ㄝ"},   {"ai", "ㄞ"},   {"ei", "ㄟ"},  {"ao", "ㄠ"},
        {"ou", "ㄡ"},   {"an", "ㄢ"},  {"en", "ㄣ"},  {"ang", "ㄤ"},  {"eng", "ㄥ"},  {"er", "ㄦ"},  {"i", "ㄧ"},
        {"u", "ㄨ"},    {"v", "ㄩ"},   {"ii", "ㄭ"},  {"iii", "十"},  {"ve", "月"},   {"ia", "压"},  {"ian", "言"},
        {"iang", "阳"}, {"iao", "要"}, {"in", "阴"},  {"ing", "应"},  {"iong", "用"}, {"iou", "又"}, {"ong", "中"},
        {"ua", "穵"},   {"uai", "外"}, {"uan", "万"}, {"uang", "王"}, {"uei", "为"},  {"uen", "文"}, {"ueng", "瓮"},
        {"uo", "我"},   {"van", "元"}, {"vn", "云"},
    };
    return map;
}

const std::unordered_set<std::string>& allowedPunctuation() {
    static const std::unordered_set<std::string> punctuation{
        ";", ":", ",", ".", "!", "?", "/", "\u2014", "\u2026", "\"", "(", ")", "\u201C", "\u201D", " ",
    };
    return punctuation;
}

std::string normalizePinyinForLookup(std::string_view syllable) {
    static const std::unordered_map<std::string_view, std::string_view> zeroInitial{
        {"yi", "i"},      {"ya", "ia"},     {"ye", "ie"},    {"yao", "iao"},   {"you", "iou"}, {"yan", "ian"},
        {"yin", "in"},    {"yang", "iang"}, {"ying", "ing"}, {"yong", "iong"}, {"wu", "u"},    {"wa", "ua"},
        {"wo", "uo"},     {"wai", "uai"},   {"wei", "uei"},  {"wan", "uan"},   {"wen", "uen"}, {"wang", "uang"},
        {"weng", "ueng"}, {"yu", "v"},      {"yue", "ve"},   {"yuan", "van"},  {"yun", "vn"},
    };
    const auto found = zeroInitial.find(syllable);
    return std::string(found == zeroInitial.end() ? syllable : found->second);
}

void sibilantIFix(std::string_view initial, std::string& final) {
    if (final != "i") {
        return;
    }
    if (initial == "z" || initial == "c" || initial == "s") {
        final = "ii";
    } else if (initial == "zh" || initial == "ch" || initial == "sh" || initial == "r") {
        final = "iii";
    }
}

std::optional<std::string> encode(std::string_view syllable, int tone, bool erhua) {
    if (syllable.empty()) {
        return std::nullopt;
    }
    const std::string text = normalizePinyinForLookup(syllable);
    const std::string initial = initialOf(text);
    std::string final = text.substr(initial.size());
    sibilantIFix(initial, final);
    if (isPalatal(initial) && final.starts_with('u')) {
        final[0] = 'v';
    }
    std::string written;
    if (!initial.empty()) {
        expandShortFinal(final);
        written += initialMap().at(initial);
    }
    if (!final.empty()) {
        const std::optional<std::string> symbol = symbolOf(finalMap(), final);
        if (!symbol) {
            return std::nullopt;
        }
        written += *symbol;
    }
    if (erhua) {
        written += finalMap().at("er");
    }
    if (tone >= 1 && tone <= 5) {
        written += static_cast<char>('0' + tone);
    }
    return written.empty() ? std::nullopt : std::optional(written);
}

} // namespace quorl::MandarinBopomofoMap
