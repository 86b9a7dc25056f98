#pragma once

#include <string>
#include <string_view>

namespace quorl {

// Every word-boundary marker ("▁") replaced by one space.
std::string replacingWordBoundaries(std::string_view text);

// The text that joined word pieces spell: markers as spaces, then blanks (tabs and space separators, not
// line breaks) removed at both ends.
std::string wordPieceText(std::string_view joinedPieces);

} // namespace quorl
