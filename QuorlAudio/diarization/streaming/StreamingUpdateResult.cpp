#include "QuorlAudio/diarization/streaming/StreamingUpdateResult.hpp"

namespace quorl {

int StreamingUpdateResult::confirmedFrameCount() const {
    return numSpeakers > 0 ? static_cast<int>(confirmed.size()) / numSpeakers : 0;
}

int StreamingUpdateResult::tentativeFrameCount() const {
    return numSpeakers > 0 ? static_cast<int>(tentative.size()) / numSpeakers : 0;
}

} // namespace quorl
