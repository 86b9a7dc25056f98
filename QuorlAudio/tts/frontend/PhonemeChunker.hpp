#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Cuts a long phoneme string into pieces a synthesiser's acoustic model accepts in one call, preferring to cut
// after a blank or a punctuation mark so that each piece ends at a natural pause. Holds no mutable state.
namespace quorl::PhonemeChunker {

// ",", ".", ";", ":", "!", "?", the ellipsis "…" and the em dash "—" (not the en dash nor the hyphen).
const std::set<std::string, std::less<>>& defaultBoundaryPunctuation();

// The text in pieces of at most `maxLength` user-perceived characters, in text order, each trimmed of white
// space and never empty. A window of `maxLength` characters is cut after its last white space or boundary mark
// (the window's first character excepted), or hard at its end when it has none; white space after a cut is
// skipped. A `maxLength` below 1 is taken as 1: every piece is then one character, so no text is lost.
std::vector<std::string>
chunk(std::string_view text, int maxLength,
      const std::set<std::string, std::less<>>& boundaryPunctuation = defaultBoundaryPunctuation());

} // namespace quorl::PhonemeChunker
