#pragma once

#include <string>
#include <string_view>

namespace quorl {

// Whether a token piece starts a word: it begins with the marker "▁" or with a space.
bool isWordBoundary(std::string_view piece);

// The piece without its one leading marker or space; any other piece unchanged.
std::string stripWordBoundaryPrefix(std::string_view piece);

} // namespace quorl
