#pragma once

#include "QuorlAudio/tts/frontend/SSMLTypes.hpp"

#include <string_view>

// Replaces the SSML elements phoneme, sub and say-as of a text for synthesis by plain text, and returns the
// explicit pronunciations of the phoneme elements tied to the position of their word. Holds no mutable state.
namespace quorl::SSMLProcessor {

// The text with each sub element replaced by its alias, each say-as element by its content read by the say-as
// interpreter, and each phoneme element by its content, which gets an override whose `wordIndex` counts the
// words of the returned text before it. Any other markup stays as written; text without "<" comes back as it is.
SSMLProcessingResult process(std::string_view text);

} // namespace quorl::SSMLProcessor
