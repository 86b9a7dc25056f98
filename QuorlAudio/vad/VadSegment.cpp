#include "QuorlAudio/vad/VadSegment.hpp"

namespace quorl {

std::int64_t VadSegment::startSample(int sampleRate) const { return static_cast<std::int64_t>(startTime * sampleRate); }

std::int64_t VadSegment::endSample(int sampleRate) const { return static_cast<std::int64_t>(endTime * sampleRate); }

std::int64_t VadSegment::sampleCount(int sampleRate) const { return endSample(sampleRate) - startSample(sampleRate); }

} // namespace quorl
