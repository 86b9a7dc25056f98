#pragma once

#include <string>
#include <string_view>
#include <vector>

// Cuts a long text into chunks short enough for one pass of the Supertonic-3 models, preferring paragraph, then
// sentence, then comma, then word boundaries. Lengths are counted in characters (grapheme clusters).
namespace quorl::Supertonic3TextChunker {

// The trimmed chunks in order; none for blank text. A paragraph of at most `maxLen` characters is one chunk
// whatever it holds; a longer one is packed by sentences (abbreviations such as "Dr." end none), a sentence
// longer than `maxLen` by comma parts (the comma where a chunk ends is dropped), and a longer part by words. A
// single word longer than `maxLen` is a chunk of its own and is never cut.
std::vector<std::string> chunk(std::string_view text, int maxLen);

// The maximal runs of scalars without the White_Space property, in order: where a chunk may be cut further.
std::vector<std::string> words(std::string_view text);

} // namespace quorl::Supertonic3TextChunker
