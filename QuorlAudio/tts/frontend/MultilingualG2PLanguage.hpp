#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// The nine languages of the multilingual grapheme-to-phoneme model.
enum class MultilingualG2PLanguage {
    americanEnglish,
    britishEnglish,
    spanish,
    french,
    hindi,
    italian,
    japanese,
    brazilianPortuguese,
    mandarinChinese,
};

// The model's language code, also the raw value: "eng-us", "eng-uk", "spa", "fra", "hin", "ita", "jpn",
// "por-bz", "cmn".
std::string_view charsiuCode(MultilingualG2PLanguage language);
std::string_view rawValue(MultilingualG2PLanguage language);

// What the model reads before the word: "<" + code + ">: ".
std::string prefix(MultilingualG2PLanguage language);

// The language of a Kokoro voice by the first two characters of its name, exactly as written ("af_heart" is
// American English, "zf_001" Mandarin); none for a shorter name or an unknown start.
std::optional<MultilingualG2PLanguage> fromKokoroVoice(std::string_view voice);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the codes.
template <>
std::optional<quorl::MultilingualG2PLanguage> fromRawValue<quorl::MultilingualG2PLanguage>(std::string_view rawValue);

// In declaration order.
template <> std::span<const quorl::MultilingualG2PLanguage> allCases<quorl::MultilingualG2PLanguage>();

} // namespace platform::core
