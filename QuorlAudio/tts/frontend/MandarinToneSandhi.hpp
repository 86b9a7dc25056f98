#pragma once

#include "QuorlAudio/tts/frontend/MandarinPinyinNormalizer.hpp"

#include <vector>

// The tone changes of connected Mandarin speech over a run of syllables, without knowledge of words. Pure
// functions; any thread may call.
namespace quorl::MandarinToneSandhi {

// In place: "bu" 4 before a fourth tone becomes 2; "yi" 1 becomes 4 before tones 1 to 3 and 2 before tone 4
// (each judged on the tones as they were); then every run of two or more third tones keeps only its last one,
// the others becoming 2. Fewer than two syllables stay as they are.
void apply(std::vector<MandarinPinyinNormalizer::Syllable>& syllables);

} // namespace quorl::MandarinToneSandhi
