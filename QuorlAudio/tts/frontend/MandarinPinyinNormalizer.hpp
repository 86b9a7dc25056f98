#pragma once

#include <optional>
#include <string>
#include <string_view>

// Turns pinyin text into the syllables the Mandarin front end works on: tone-marked pinyin from the dictionaries
// and tone-digit pinyin from the custom lexicon. Pure functions; any thread may call.
namespace quorl::MandarinPinyinNormalizer {

// A toneless pinyin base ("ü" written "v"), its tone (1 to 4, 5 the neutral tone) and whether an "r" suffix has
// been merged into it.
struct Syllable {
    std::string base;
    int tone = 5;
    bool erhua = false;

    bool operator==(const Syllable&) const = default;
};

// Every lower-case tone-marked vowel (and ü, ń, ň, ǹ, ḿ) becomes its plain letter, the last mark giving the tone;
// a text without a mark has tone 5. Everything else stays as written, so "zhōng" gives zhong 1 and "lüè" lve 4.
// Marks are compared under canonical equivalence, a combining tone mark matching the precomposed letter.
Syllable normalize(std::string_view text);

// Letters "a" to "z" or "ü" in any case followed by one ASCII tone digit 1 to 5: "ZHONG1" gives zhong 1, "lü3"
// lv 3. None for anything else ("zhong", "zhong0", "4", "zhōng1").
std::optional<Syllable> parseDigitForm(std::string_view text);

} // namespace quorl::MandarinPinyinNormalizer
