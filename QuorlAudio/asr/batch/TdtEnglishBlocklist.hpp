#pragma once

#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace quorl {

// The 44 pieces of the v3 vocabulary that only English uses, by token id.
const std::unordered_set<int>& englishBlocklistIds();

// Keeps a transcript in a Latin-script language other than English free of English-only pieces: a
// blocklisted label becomes the best of the first min(ids, logits) top-K candidates that is not the blank, not
// blocklisted, in the vocabulary and written in Latin script (word-boundary markers aside; the earlier
// candidate wins a tie), with its softmax share over all logits as the score. Nothing changes when no
// candidate qualifies.
void applyEnglishBlocklist(int& label, float& score, std::span<const int> topKIds, std::span<const float> topKLogits,
                           const std::unordered_map<int, std::string>& vocabulary, int blankId);

} // namespace quorl
