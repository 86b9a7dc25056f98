#include "QuorlAudio/diarization/chunked/TimedSpeakerSegment.hpp"

namespace quorl {

float TimedSpeakerSegment::durationSeconds() const { return endTimeSeconds - startTimeSeconds; }

} // namespace quorl
