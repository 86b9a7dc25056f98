#include "QuorlAudio/asr/other/CohereAsrConfig.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace quorl {
namespace {

using Language = CohereAsrConfig::Language;
using Tokens = CohereAsrConfig::SpecialTokens;

struct LanguageEntry {
    Language language;
    std::string_view rawValue;
    std::string_view englishName;
    int tokenId;
};

// In declaration order; the token ids are fixed per language, not ordered.
constexpr std::array<LanguageEntry, 14> entries{{
    {Language::english, "en", "English", 62},
    {Language::french, "fr", "French", 69},
    {Language::german, "de", "German", 76},
    {Language::spanish, "es", "Spanish", 169},
    {Language::italian, "it", "Italian", 97},
    {Language::portuguese, "pt", "Portuguese", 149},
    {Language::dutch, "nl", "Dutch", 60},
    {Language::polish, "pl", "Polish", 148},
    {Language::greek, "el", "Greek", 77},
    {Language::arabic, "ar", "Arabic", 28},
    {Language::japanese, "ja", "Japanese", 98},
    {Language::chinese, "zh", "Chinese", 50},
    {Language::vietnamese, "vi", "Vietnamese", 194},
    {Language::korean, "ko", "Korean", 110},
}};

constexpr std::array<Language, entries.size()> cases = [] {
    std::array<Language, entries.size()> all{};
    std::ranges::transform(entries, all.begin(), &LanguageEntry::language);
    return all;
}();

const LanguageEntry& entry(Language language) { return entries[static_cast<std::size_t>(language)]; }

} // namespace

std::string_view rawValue(Language language) { return entry(language).rawValue; }

std::string_view englishName(Language language) { return entry(language).englishName; }

int tokenId(Language language) { return entry(language).tokenId; }

std::vector<int> promptSequence(Language language) {
    const int languageToken = tokenId(language);
    return {Tokens::wordBoundary, Tokens::startOfContext, Tokens::startToken, Tokens::emoUndefined,
            languageToken,        languageToken,          Tokens::pnc,        Tokens::noitn,
            Tokens::notimestamp,  Tokens::nodiarize};
}

} // namespace quorl

namespace platform::core {

template <>
std::optional<quorl::CohereAsrConfig::Language>
fromRawValue<quorl::CohereAsrConfig::Language>(std::string_view rawValue) {
    const auto found = std::ranges::find(quorl::entries, rawValue, &quorl::LanguageEntry::rawValue);
    if (found == quorl::entries.end()) {
        return std::nullopt;
    }
    return found->language;
}

template <> std::span<const quorl::CohereAsrConfig::Language> allCases<quorl::CohereAsrConfig::Language>() {
    return quorl::cases;
}

} // namespace platform::core
