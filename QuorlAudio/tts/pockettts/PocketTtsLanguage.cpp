#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"

#include "platform/core/Concatenated.hpp"

#include <array>

namespace quorl {
namespace {

constexpr std::array languages{
    PocketTtsLanguage::english,    PocketTtsLanguage::french24L,     PocketTtsLanguage::german,
    PocketTtsLanguage::german24L,  PocketTtsLanguage::italian,       PocketTtsLanguage::italian24L,
    PocketTtsLanguage::portuguese, PocketTtsLanguage::portuguese24L, PocketTtsLanguage::spanish,
    PocketTtsLanguage::spanish24L,
};

} // namespace

std::string_view rawValue(PocketTtsLanguage language) {
    switch (language) {
    case PocketTtsLanguage::english: return "english";
    case PocketTtsLanguage::french24L: return "french_24l";
    case PocketTtsLanguage::german: return "german";
    case PocketTtsLanguage::german24L: return "german_24l";
    case PocketTtsLanguage::italian: return "italian";
    case PocketTtsLanguage::italian24L: return "italian_24l";
    case PocketTtsLanguage::portuguese: return "portuguese";
    case PocketTtsLanguage::portuguese24L: return "portuguese_24l";
    case PocketTtsLanguage::spanish: return "spanish";
    case PocketTtsLanguage::spanish24L: return "spanish_24l";
    }
    return "";
}

std::string repoSubdirectory(PocketTtsLanguage language) {
    return platform::core::concatenated({"v2.1/", rawValue(language)});
}

std::int64_t transformerLayers(PocketTtsLanguage language) { return rawValue(language).ends_with("_24l") ? 24 : 6; }

} // namespace quorl

namespace platform::core {

template <> std::optional<quorl::PocketTtsLanguage> fromRawValue<quorl::PocketTtsLanguage>(std::string_view rawValue) {
    for (const auto language : quorl::languages) {
        if (quorl::rawValue(language) == rawValue) {
            return language;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::PocketTtsLanguage> allCases<quorl::PocketTtsLanguage>() { return quorl::languages; }

} // namespace platform::core
