#pragma once

#include "QuorlAudio/tts/frontend/MandarinPinyinNormalizer.hpp"

#include <cstddef>
#include <string>
#include <vector>

// Tone sandhi guided by word boundaries and part-of-speech tags. Pure functions; any thread may call.
namespace quorl::MandarinToneSandhiPOS {

// The syllables of one word: indices from `start` up to, not including, `end`.
struct SyllableRange {
    std::size_t start = 0;
    std::size_t end = 0;
};

// In place, over syllables whose words are given in text order, the tag at position i belonging to word i:
// - "bu" 4 before a fourth tone becomes 2, except in the A-bu-A question form (shi4 bu4 shi4);
// - "yi" 1 changes as in the word-blind sandhi, except as a one-syllable word tagged "m" (a numeral alone);
// - third-tone runs are lowered within each word, then the last syllable of a word becomes 2 when it and the
//   first syllable of the next word are both third tones.
// Parts of ranges outside the syllables are ignored, and a word without a tag has none. Fewer than two
// syllables stay as they are.
void apply(std::vector<MandarinPinyinNormalizer::Syllable>& syllables, const std::vector<SyllableRange>& words,
           const std::vector<std::string>& tags);

} // namespace quorl::MandarinToneSandhiPOS
