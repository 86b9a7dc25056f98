#pragma once

#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string_view>

namespace quorl {

// The language edition of the Kokoro synthesiser.
enum class KokoroAneVariant { english, mandarin, japanese };

// "english", "mandarin", "japanese".
std::string_view rawValue(KokoroAneVariant variant);

// The hub repository holding the variant's stage models, vocabulary and voices.
Repo repo(KokoroAneVariant variant);

std::string_view defaultVoice(KokoroAneVariant variant);

// Whether the variant's voice packs lie in a "voices" folder of its repository rather than at its top level.
bool useVoicesSubdir(KokoroAneVariant variant);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the raw values.
template <> std::optional<quorl::KokoroAneVariant> fromRawValue<quorl::KokoroAneVariant>(std::string_view rawValue);

// english, mandarin, japanese.
template <> std::span<const quorl::KokoroAneVariant> allCases<quorl::KokoroAneVariant>();

} // namespace platform::core
