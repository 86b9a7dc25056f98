#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The phoneme alphabet of the Kokoro Mandarin voice: one symbol for the initial, one for the final (bopomofo
// letters, or a hanzi the model uses as the symbol of a compound final), "ㄦ" for erhua and the tone digit. The
// tables are built once, on first use, and never change; any thread may call.
namespace quorl::MandarinBopomofoMap {

// The initials in the order they are tried, two-letter ones first.
const std::vector<std::string>& initials();
const std::unordered_map<std::string, std::string>& initialMap();
// Finals to symbols; "v" stands for ü, "ii" is the vowel after z, c, s and "iii" the one after zh, ch, sh, r.
const std::unordered_map<std::string, std::string>& finalMap();
// The characters the Mandarin front end copies into the phoneme string as punctuation.
const std::unordered_set<std::string>& allowedPunctuation();

// A syllable without initial written as its final ("yi" → "i", "wan" → "uan", "yun" → "vn"); any other text as
// given.
std::string normalizePinyinForLookup(std::string_view syllable);

// The final "i" after z, c, s becomes "ii", after zh, ch, sh, r "iii".
void sibilantIFix(std::string_view initial, std::string& final);

// The phoneme text of one syllable: "zhong" 1 gives "ㄓ中1", "hua" 1 with erhua "ㄏ穵ㄦ1". A tone outside 1 to 5
// writes no digit. None for an empty syllable or one whose final the map does not know.
std::optional<std::string> encode(std::string_view syllable, int tone, bool erhua);

} // namespace quorl::MandarinBopomofoMap
