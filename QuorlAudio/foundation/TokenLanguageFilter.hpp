#pragma once

#include "QuorlAudio/foundation/Language.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

// Restricts a decoder's candidate tokens to the script of a language hint.
namespace quorl::TokenLanguageFilter {

struct Result {
    int tokenId;
    // The chosen token's share of the softmax over the whole candidate list, in [0, 1].
    float probability;
};

// The most likely candidate whose piece is written in the preferred script, ignoring word-boundary markers
// ("▁"); a piece of markers alone qualifies. Only the first min(ids, logits) candidates are considered;
// ids missing from the vocabulary never qualify; on equal logits the earlier candidate wins and a NaN logit
// loses to any other. No result when nothing qualifies. Allocates nothing: it runs in the decoding loop.
std::optional<Result> filterTopK(std::span<const int> topKIds, std::span<const float> topKLogits,
                                 const std::unordered_map<int, std::string>& vocabulary, Script preferredScript);

// Whether every Unicode scalar of the text lies in the script's accepted ranges. ASCII punctuation, digits
// and blanks belong to every script, ASCII letters only to latin, control characters to none. Malformed
// UTF-8 matches no script.
bool matchesScript(std::string_view text, Script script);

} // namespace quorl::TokenLanguageFilter
