#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform::text {

// Splits UTF-8 text into its user-perceived characters (extended grapheme clusters), each returned as
// UTF-8. Malformed sequences read as U+FFFD, so every cluster is valid UTF-8 and each malformed sequence
// counts as one character.
std::vector<std::string> graphemeClusters(std::string_view text);

// The byte offsets in the UTF-8 text at which its user-perceived characters begin, followed by the text's
// size: {0} for empty text, and character k is the bytes from entry k up to entry k + 1. Malformed sequences
// read as U+FFFD, as above, while the offsets stay those of the bytes as given.
std::vector<std::size_t> graphemeBoundaries(std::string_view text);

// The number of user-perceived characters, counted as graphemeBoundaries splits them.
std::size_t characterCount(std::string_view text);

// The user-perceived characters as views of the text's own bytes, in order, split at graphemeBoundaries.
std::vector<std::string_view> graphemeClusterViews(std::string_view text);

} // namespace platform::text
