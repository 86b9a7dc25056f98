#pragma once

#include <vector>

// Turns the joint model's duration class into encoder frames.
namespace quorl::TdtDurationMapping {

// The bins' entry at the index; ASRError::processingFailed "Duration bin index out of range: <index>"
// outside the bins.
int mapDurationBin(int index, const std::vector<int>& durationBins);

} // namespace quorl::TdtDurationMapping
