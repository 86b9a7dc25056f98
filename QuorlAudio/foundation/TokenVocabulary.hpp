#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <unordered_map>

namespace quorl {

// A recogniser's token pieces by token id; ids need not be contiguous.
using TokenVocabulary = std::unordered_map<int, std::string>;

// The vocabulary a "vocab.json" document holds, in either of its two shapes: an array of pieces (position i is
// id i), or an object from decimal ids (optional sign, digits only) to pieces, whose other keys are skipped and
// whose later duplicate ids win. None for any other top level or for an element that is not a string.
std::optional<TokenVocabulary> tokenVocabulary(const nlohmann::json& document);

} // namespace quorl
