#include "QuorlAudio/foundation/Language.hpp"

#include <array>
#include <cstddef>

namespace quorl {
namespace {

struct LanguageEntry {
    Language language;
    std::string_view rawValue;
    Script script;
};

// One row per case, in declaration order.
constexpr std::array<LanguageEntry, 28> entries{{
    {Language::english, "en", Script::latin},       {Language::spanish, "es", Script::latin},
    {Language::french, "fr", Script::latin},        {Language::german, "de", Script::latin},
    {Language::italian, "it", Script::latin},       {Language::portuguese, "pt", Script::latin},
    {Language::romanian, "ro", Script::latin},      {Language::dutch, "nl", Script::latin},
    {Language::danish, "da", Script::latin},        {Language::swedish, "sv", Script::latin},
    {Language::finnish, "fi", Script::latin},       {Language::hungarian, "hu", Script::latin},
    {Language::estonian, "et", Script::latin},      {Language::latvian, "lv", Script::latin},
    {Language::lithuanian, "lt", Script::latin},    {Language::maltese, "mt", Script::latin},
    {Language::polish, "pl", Script::latin},        {Language::czech, "cs", Script::latin},
    {Language::slovak, "sk", Script::latin},        {Language::slovenian, "sl", Script::latin},
    {Language::croatian, "hr", Script::latin},      {Language::bosnian, "bs", Script::latin},
    {Language::russian, "ru", Script::cyrillic},    {Language::ukrainian, "uk", Script::cyrillic},
    {Language::belarusian, "be", Script::cyrillic}, {Language::bulgarian, "bg", Script::cyrillic},
    {Language::serbian, "sr", Script::cyrillic},    {Language::greek, "el", Script::greek},
}};

constexpr bool entriesFollowDeclarationOrder() {
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (static_cast<std::size_t>(entries[index].language) != index) {
            return false;
        }
    }
    return true;
}
static_assert(entriesFollowDeclarationOrder());

constexpr std::array<Language, entries.size()> cases = [] {
    std::array<Language, entries.size()> result{};
    for (std::size_t index = 0; index < entries.size(); ++index) {
        result[index] = entries[index].language;
    }
    return result;
}();

const LanguageEntry& entry(Language language) { return entries.at(static_cast<std::size_t>(language)); }

} // namespace

std::string rawValue(Language language) { return std::string(entry(language).rawValue); }

Script script(Language language) { return entry(language).script; }

} // namespace quorl

namespace platform::core {

template <> std::optional<quorl::Language> fromRawValue<quorl::Language>(std::string_view rawValue) {
    for (const auto& row : quorl::entries) {
        if (row.rawValue == rawValue) {
            return row.language;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::Language> allCases<quorl::Language>() { return quorl::cases; }

} // namespace platform::core
