#include "QuorlAudio/diarization/streaming/DiarizerSegment.hpp"

#include "QuorlAudio/diarization/streaming/FrameRounding.hpp"

#include <algorithm>
#include <tuple>

namespace quorl {

DiarizerSegment::DiarizerSegment(const Frames& frames)
    : speakerIndex(frames.speakerIndex), startFrame(frames.startFrame), endFrame(frames.endFrame),
      isFinalized(frames.finalized), activity(frames.activity), id_(platform::core::UUID::random()),
      frameDurationSeconds_(frames.frameDurationSeconds) {}

DiarizerSegment::DiarizerSegment(const Times& times)
    : DiarizerSegment(Frames{
          .speakerIndex = times.speakerIndex,
          .startFrame = nearestFrameCount(times.startTime, times.frameDurationSeconds),
          .endFrame = nearestFrameCount(times.endTime, times.frameDurationSeconds),
          .finalized = times.finalized,
          .frameDurationSeconds = times.frameDurationSeconds,
          .activity = times.activity,
      }) {}

float DiarizerSegment::startTime() const { return frameDurationSeconds_ * static_cast<float>(startFrame); }

float DiarizerSegment::endTime() const { return frameDurationSeconds_ * static_cast<float>(endFrame); }

float DiarizerSegment::duration() const { return frameDurationSeconds_ * static_cast<float>(length()); }

std::string DiarizerSegment::speakerLabel() const { return "Speaker " + std::to_string(speakerIndex); }

bool DiarizerSegment::overlaps(const DiarizerSegment& other) const {
    return other.endFrame >= startFrame && endFrame >= other.startFrame;
}

void DiarizerSegment::absorb(const DiarizerSegment& other) {
    const auto ownLength = static_cast<float>(length());
    const auto otherLength = static_cast<float>(other.length());
    const float total = ownLength + otherLength;
    activity = total > 0 ? (activity * ownLength + other.activity * otherLength) / total : 0.0f;
    startFrame = std::min(startFrame, other.startFrame);
    endFrame = std::max(endFrame, other.endFrame);
}

void DiarizerSegment::extendEnd(std::int64_t frame) { endFrame = std::max(endFrame, frame); }

void DiarizerSegment::extendStart(std::int64_t frame) { startFrame = std::min(startFrame, frame); }

bool DiarizerSegment::operator==(const DiarizerSegment& other) const { return (*this <=> other) == 0; }

std::strong_ordering DiarizerSegment::operator<=>(const DiarizerSegment& other) const {
    return std::tie(startFrame, endFrame, speakerIndex) <=>
           std::tie(other.startFrame, other.endFrame, other.speakerIndex);
}

} // namespace quorl
