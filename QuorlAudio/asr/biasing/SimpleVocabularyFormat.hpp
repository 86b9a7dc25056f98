#pragma once

#include "QuorlAudio/asr/biasing/CustomVocabularyTerm.hpp"

#include <string_view>
#include <vector>

namespace quorl {

// The terms of a plain-text vocabulary, in line order. Lines end at any line break; trimmed lines that are
// empty or start with "#" are comments. "term: alias, alias" splits at the first colon; aliases are split at
// commas and trimmed. Every term is cleaned (its warnings dropped) and weighs 10.0; one that cleans to nothing
// is skipped.
std::vector<CustomVocabularyTerm> parseSimpleVocabulary(std::u32string_view text);

} // namespace quorl
