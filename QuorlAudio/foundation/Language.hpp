#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// The writing systems a language hint can restrict a transcript to.
enum class Script {
    latin,
    cyrillic,
    greek,
};

// The languages a caller can hint to the recognisers.
enum class Language {
    english,
    spanish,
    french,
    german,
    italian,
    portuguese,
    romanian,
    dutch,
    danish,
    swedish,
    finnish,
    hungarian,
    estonian,
    latvian,
    lithuanian,
    maltese,
    polish,
    czech,
    slovak,
    slovenian,
    croatian,
    bosnian,
    russian,
    ukrainian,
    belarusian,
    bulgarian,
    serbian,
    greek,
};

// The two-letter code, for example "en".
std::string rawValue(Language language);

Script script(Language language);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the two-letter code: "EN" is no language.
template <> std::optional<quorl::Language> fromRawValue<quorl::Language>(std::string_view rawValue);

// The 28 languages in declaration order.
template <> std::span<const quorl::Language> allCases<quorl::Language>();

} // namespace platform::core
