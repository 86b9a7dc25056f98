#pragma once

#include "QuorlAudio/tts/frontend/MandarinPinyinNormalizer.hpp"

#include <vector>

// Folds the "r" suffix into the syllable before it. Pure functions; any thread may call.
namespace quorl::MandarinErhua {

// In place, from the end: a neutral-tone "er" (er5, how the dictionaries write the suffix 儿) after a syllable
// that is neither empty nor "er" is removed and that syllable marked erhua, keeping its own tone. An "er" of a
// full tone is a syllable of its own (十二, 然而, 女儿) and stays.
void merge(std::vector<MandarinPinyinNormalizer::Syllable>& syllables);

} // namespace quorl::MandarinErhua
