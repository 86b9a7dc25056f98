#pragma once

#include "QuorlAudio/asr/biasing/RescoringRecords.hpp"

#include <vector>

namespace quorl::rescoring {

// Applies the winning replacements of one rescoring call and rebuilds the text from the words.
//
// Preference: similarity in steps of 0.05 first; within a step the shorter span, or at equal span the higher
// similarity; otherwise the order of collection. A replacement is applied only when none of its words has been
// replaced already: the term takes the span's first word, with the punctuation before that word and after the
// span's last word kept around it, and the span's other words are left out of the text.
RescoreOutput finalizeReplacements(std::vector<PendingReplacement> pendingReplacements,
                                   std::vector<WordTiming> modifiedWords);

} // namespace quorl::rescoring
