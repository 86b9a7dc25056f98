#include "QuorlAudio/asr/batch/TdtDurationMapping.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"

#include <cstddef>
#include <string>

namespace quorl::TdtDurationMapping {

int mapDurationBin(int index, const std::vector<int>& durationBins) {
    if (index < 0 || static_cast<std::size_t>(index) >= durationBins.size()) {
        throw ASRError::processingFailed("Duration bin index out of range: " + std::to_string(index));
    }
    return durationBins[static_cast<std::size_t>(index)];
}

} // namespace quorl::TdtDurationMapping
