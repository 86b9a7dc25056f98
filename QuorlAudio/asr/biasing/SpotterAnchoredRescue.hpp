#pragma once

#include "QuorlAudio/asr/biasing/VocabularyRescorer.hpp"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace quorl::rescoring {

// The words overlapping [start, end] seconds (touching ends count), up to the first gap in their indices; when
// none overlaps, the word whose middle is nearest the middle of the stretch. Empty without words or when start
// is not before end.
std::vector<std::int64_t> wordIndices(const std::vector<WordTiming>& wordTimings, double start, double end);

// Offers the words under each of the spotter's detections of a term as a candidate for that term, strongest
// detection first, and appends those that win the CTC comparison. Words that already read as the term, one of
// its aliases or another term, stop words alone, and spans of more than four words are not offered.
void collectSpotterAnchoredCandidates(const VocabularyRescorer& rescorer, const std::vector<WordTiming>& wordTimings,
                                      const VocabularyRescorer::Scoring& scoring,
                                      const std::unordered_set<std::string>& vocabularyNormalizedSet,
                                      std::vector<PendingReplacement>& pendingReplacements);

} // namespace quorl::rescoring
