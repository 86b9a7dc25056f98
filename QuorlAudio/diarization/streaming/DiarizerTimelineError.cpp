#include "QuorlAudio/diarization/streaming/DiarizerTimelineError.hpp"

#include <string>

namespace quorl {

DiarizerTimelineError::DiarizerTimelineError(Kind kind, const char* which, std::int64_t count, std::int64_t numSpeakers)
    : Error(std::string("The number of ") + which + " predictions (" + std::to_string(count) +
            ") isn't a multiple of the speaker count (" + std::to_string(numSpeakers) + ")."),
      kind_(kind), count_(count), numSpeakers_(numSpeakers) {}

DiarizerTimelineError DiarizerTimelineError::misalignedFinalizedPredictions(std::int64_t count,
                                                                            std::int64_t numSpeakers) {
    return DiarizerTimelineError(Kind::misalignedFinalizedPredictions, "finalized", count, numSpeakers);
}

DiarizerTimelineError DiarizerTimelineError::misalignedTentativePredictions(std::int64_t count,
                                                                            std::int64_t numSpeakers) {
    return DiarizerTimelineError(Kind::misalignedTentativePredictions, "tentative", count, numSpeakers);
}

} // namespace quorl
