#pragma once

#include "QuorlAudio/tts/frontend/MandarinPinyinNormalizer.hpp"

#include <cstddef>
#include <optional>
#include <vector>

// The tone rules that the word-blind and the word-guided tone sandhi share.
namespace quorl::MandarinSandhiRules {

// The tone of "yi" 1 before a syllable of the given tone: 4 before tones 1 to 3, 2 before tone 4; none (it keeps
// tone 1) before any other.
std::optional<int> yiToneBefore(int nextTone);

// Every maximal run of two or more third tones among the syllables from `start` up to `end` gets tone 2 on all
// but its last syllable.
void lowerThirdToneRuns(std::vector<MandarinPinyinNormalizer::Syllable>& syllables, std::size_t start, std::size_t end);

} // namespace quorl::MandarinSandhiRules
