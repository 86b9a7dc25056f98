#include "QuorlAudio/tts/frontend/KokoroAneVariant.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"

#include <array>

namespace quorl {
namespace {

constexpr std::array variants{KokoroAneVariant::english, KokoroAneVariant::mandarin, KokoroAneVariant::japanese};

} // namespace

std::string_view rawValue(KokoroAneVariant variant) {
    switch (variant) {
    case KokoroAneVariant::english: return "english";
    case KokoroAneVariant::mandarin: return "mandarin";
    case KokoroAneVariant::japanese: return "japanese";
    }
    return "";
}

Repo repo(KokoroAneVariant variant) {
    switch (variant) {
    case KokoroAneVariant::english: return Repo::kokoroAne;
    case KokoroAneVariant::mandarin: return Repo::kokoroAneZh;
    case KokoroAneVariant::japanese: return Repo::kokoroAneJa;
    }
    return Repo::kokoroAne;
}

std::string_view defaultVoice(KokoroAneVariant variant) {
    switch (variant) {
    case KokoroAneVariant::english: return KokoroAneConstants::defaultVoice;
    case KokoroAneVariant::mandarin: return KokoroAneConstants::defaultVoiceMandarin;
    case KokoroAneVariant::japanese: return KokoroAneConstants::defaultVoiceJapanese;
    }
    return KokoroAneConstants::defaultVoice;
}

bool useVoicesSubdir(KokoroAneVariant variant) { return variant != KokoroAneVariant::english; }

} // namespace quorl

namespace platform::core {

template <> std::optional<quorl::KokoroAneVariant> fromRawValue<quorl::KokoroAneVariant>(std::string_view rawValue) {
    for (const auto variant : quorl::variants) {
        if (quorl::rawValue(variant) == rawValue) {
            return variant;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::KokoroAneVariant> allCases<quorl::KokoroAneVariant>() { return quorl::variants; }

} // namespace platform::core
