#pragma once

#include "QuorlAudio/foundation/Language.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorl {

// Keeps a joint decision in the script of the language hint: a non-blank label whose piece (word-boundary
// markers aside) is written in another script becomes the joint model's best top-K candidate of that script,
// with its softmax share as the score, clamped to [0, 1]. Nothing changes without a language, a vocabulary or
// both top-K lists, for a label the vocabulary lacks or a piece of markers alone, or when no candidate fits.
// `vocabulary` is null when absent.
void tokenLanguageFilter(int& label, float& score, std::optional<std::span<const int>> topKIds,
                         std::optional<std::span<const float>> topKLogits, std::optional<Language> language,
                         const std::unordered_map<int, std::string>* vocabulary, int blankId);

// Whether the piece with every word-boundary marker ("▁") removed is empty or written in the script. Tested
// without building that text: the filters run at every joint step.
bool isEmptyOrWrittenIn(std::string_view piece, Script script);

} // namespace quorl
