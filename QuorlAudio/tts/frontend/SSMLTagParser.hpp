#pragma once

#include "QuorlAudio/tts/frontend/SSMLTypes.hpp"

#include <string_view>
#include <vector>

// Finds the SSML elements the synthesis front end replaces: phoneme with a "ph" attribute, sub with an "alias"
// and say-as with an "interpret-as", written without nesting. Element and attribute names may be in any letter
// case; attribute values are quoted with single or double quotes.
namespace quorl::SSMLTagParser {

// Every recognised element of the text, the one starting last first. An element lacking its attribute, or one
// whose range would cut a user-perceived character, is not returned.
std::vector<SSMLParsedTag> parse(std::string_view text);

} // namespace quorl::SSMLTagParser
