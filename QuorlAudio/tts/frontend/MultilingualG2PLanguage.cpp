#include "QuorlAudio/tts/frontend/MultilingualG2PLanguage.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/text/GraphemeClusters.hpp"

#include <array>

namespace quorl {
namespace {

using Language = MultilingualG2PLanguage;

struct Row {
    Language language;
    std::string_view code;
    // The Kokoro voice names of the language start with one of these.
    std::array<std::string_view, 2> voiceStarts;
};

constexpr std::array<Row, 9> rows{{
    {Language::americanEnglish, "eng-us", {"af", "am"}},
    {Language::britishEnglish, "eng-uk", {"bf", "bm"}},
    {Language::spanish, "spa", {"ef", "em"}},
    {Language::french, "fra", {"ff", "fm"}},
    {Language::hindi, "hin", {"hf", "hm"}},
    {Language::italian, "ita", {"if", "im"}},
    {Language::japanese, "jpn", {"jf", "jm"}},
    {Language::brazilianPortuguese, "por-bz", {"pf", "pm"}},
    {Language::mandarinChinese, "cmn", {"zf", "zm"}},
}};

constexpr std::array languages{
    Language::americanEnglish, Language::britishEnglish, Language::spanish,  Language::french,
    Language::hindi,           Language::italian,        Language::japanese, Language::brazilianPortuguese,
    Language::mandarinChinese};

const Row& rowOf(Language language) { return rows[static_cast<std::size_t>(language)]; }

} // namespace

std::string_view charsiuCode(MultilingualG2PLanguage language) { return rowOf(language).code; }

std::string_view rawValue(MultilingualG2PLanguage language) { return charsiuCode(language); }

std::string prefix(MultilingualG2PLanguage language) {
    return platform::core::concatenated({"<", charsiuCode(language), ">: "});
}

std::optional<MultilingualG2PLanguage> fromKokoroVoice(std::string_view voice) {
    const auto boundaries = platform::text::graphemeBoundaries(voice);
    if (boundaries.size() < 3) {
        return std::nullopt;
    }
    const auto start = voice.substr(0, boundaries[2]);
    for (const auto& row : rows) {
        if (row.voiceStarts[0] == start || row.voiceStarts[1] == start) {
            return row.language;
        }
    }
    return std::nullopt;
}

} // namespace quorl

namespace platform::core {

template <>
std::optional<quorl::MultilingualG2PLanguage> fromRawValue<quorl::MultilingualG2PLanguage>(std::string_view rawValue) {
    for (const auto language : quorl::languages) {
        if (quorl::rawValue(language) == rawValue) {
            return language;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::MultilingualG2PLanguage> allCases<quorl::MultilingualG2PLanguage>() {
    return quorl::languages;
}

} // namespace platform::core
