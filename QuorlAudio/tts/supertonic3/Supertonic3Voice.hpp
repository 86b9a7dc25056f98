#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// The ten built-in voices, five female and five male.
enum class Supertonic3Voice { f1, f2, f3, f4, f5, m1, m2, m3, m4, m5 };

inline constexpr Supertonic3Voice defaultSupertonic3Voice = Supertonic3Voice::m1;

// "F1" … "M5".
std::string_view rawValue(Supertonic3Voice voice);

// The voice's style file inside the repository folder: "voice_styles/" + raw
// value + ".json".
std::string fileName(Supertonic3Voice voice);

// The voice a caller names in any case ("m3" and "M3" both give m3); none for
// an unknown name.
std::optional<Supertonic3Voice> supertonic3VoiceNamed(std::string_view name);

} // namespace quorl

namespace platform::core {

// Exact match of the upper-case raw values: "f3" gives none.
template <> std::optional<quorl::Supertonic3Voice> fromRawValue<quorl::Supertonic3Voice>(std::string_view rawValue);

// F1 to F5, then M1 to M5.
template <> std::span<const quorl::Supertonic3Voice> allCases<quorl::Supertonic3Voice>();

} // namespace platform::core
