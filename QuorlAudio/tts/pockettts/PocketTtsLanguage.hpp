#pragma once

#include "platform/core/RawValue.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// A PocketTTS language pack. French exists only as the 24-layer pack.
enum class PocketTtsLanguage {
    english,
    french24L,
    german,
    german24L,
    italian,
    italian24L,
    portuguese,
    portuguese24L,
    spanish,
    spanish24L,
};

// "english", "french_24l", "german", "german_24l", … : the pack's folder name.
std::string_view rawValue(PocketTtsLanguage language);

// The pack's folder inside the model repository: "v2.1/" and the raw value.
std::string repoSubdirectory(PocketTtsLanguage language);

// Layers of the pack's flow language model: 24 for the "_24l" packs, 6 otherwise.
std::int64_t transformerLayers(PocketTtsLanguage language);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the raw values.
template <> std::optional<quorl::PocketTtsLanguage> fromRawValue<quorl::PocketTtsLanguage>(std::string_view rawValue);

// The ten packs in declaration order.
template <> std::span<const quorl::PocketTtsLanguage> allCases<quorl::PocketTtsLanguage>();

} // namespace platform::core
