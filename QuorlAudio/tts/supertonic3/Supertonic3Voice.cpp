#include "QuorlAudio/tts/supertonic3/Supertonic3Voice.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/text/CaseMapping.hpp"

#include <array>

namespace quorl {
namespace {

constexpr std::array voices{
    Supertonic3Voice::f1, Supertonic3Voice::f2, Supertonic3Voice::f3, Supertonic3Voice::f4, Supertonic3Voice::f5,
    Supertonic3Voice::m1, Supertonic3Voice::m2, Supertonic3Voice::m3, Supertonic3Voice::m4, Supertonic3Voice::m5,
};

} // namespace

std::string_view rawValue(Supertonic3Voice voice) {
    switch (voice) {
    case Supertonic3Voice::f1: return "F1";
    case Supertonic3Voice::f2: return "F2";
    case Supertonic3Voice::f3: return "F3";
    case Supertonic3Voice::f4: return "F4";
    case Supertonic3Voice::f5: return "F5";
    case Supertonic3Voice::m1: return "M1";
    case Supertonic3Voice::m2: return "M2";
    case Supertonic3Voice::m3: return "M3";
    case Supertonic3Voice::m4: return "M4";
    case Supertonic3Voice::m5: return "M5";
    }
    return "";
}

std::string fileName(Supertonic3Voice voice) {
    return platform::core::concatenated({"voice_styles/", rawValue(voice), ".json"});
}

std::optional<Supertonic3Voice> supertonic3VoiceNamed(std::string_view name) {
    return platform::core::fromRawValue<Supertonic3Voice>(platform::text::uppercased(name));
}

} // namespace quorl

namespace platform::core {

template <> std::optional<quorl::Supertonic3Voice> fromRawValue<quorl::Supertonic3Voice>(std::string_view rawValue) {
    for (const auto voice : quorl::voices) {
        if (quorl::rawValue(voice) == rawValue) {
            return voice;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::Supertonic3Voice> allCases<quorl::Supertonic3Voice>() { return quorl::voices; }

} // namespace platform::core
