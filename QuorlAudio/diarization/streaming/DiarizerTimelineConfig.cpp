#include "QuorlAudio/diarization/streaming/DiarizerTimelineConfig.hpp"

#include "QuorlAudio/diarization/streaming/FrameRounding.hpp"

#include <stdexcept>
#include <string>

namespace quorl {

DiarizerTimelineConfig DiarizerTimelineConfig::fromDurations(const Durations& durations) {
    const float frameDuration = durations.frameDurationSeconds.value_or(0.08f);
    return DiarizerTimelineConfig{
        .numSpeakers = durations.numSpeakers.value_or(1),
        .frameDurationSeconds = frameDuration,
        .onsetThreshold = durations.onsetThreshold,
        .offsetThreshold = durations.offsetThreshold,
        .onsetPadFrames = nearestFrameCount(durations.onsetPadSeconds, frameDuration),
        .offsetPadFrames = nearestFrameCount(durations.offsetPadSeconds, frameDuration),
        .minFramesOn = nearestFrameCount(durations.minDurationOn, frameDuration),
        .minFramesOff = nearestFrameCount(durations.minDurationOff, frameDuration),
        .maxStoredFrames = durations.maxStoredFrames,
        .activityType = durations.activityType,
        .storeSegments = durations.storeSegments,
    };
}

DiarizerTimelineConfig DiarizerTimelineConfig::defaultConfig(std::int64_t numSpeakers, float frameDurationSeconds) {
    return DiarizerTimelineConfig{.numSpeakers = numSpeakers, .frameDurationSeconds = frameDurationSeconds};
}

DiarizerTimelineConfig DiarizerTimelineConfig::sortformerDefault() { return defaultConfig(4, 0.08f); }

float DiarizerTimelineConfig::onsetPadSeconds() const {
    return static_cast<float>(onsetPadFrames) * frameDurationSeconds;
}

float DiarizerTimelineConfig::offsetPadSeconds() const {
    return static_cast<float>(offsetPadFrames) * frameDurationSeconds;
}

float DiarizerTimelineConfig::minDurationOn() const { return static_cast<float>(minFramesOn) * frameDurationSeconds; }

float DiarizerTimelineConfig::minDurationOff() const { return static_cast<float>(minFramesOff) * frameDurationSeconds; }

void DiarizerTimelineConfig::setOnsetPadSeconds(float seconds) {
    onsetPadFrames = nearestFrameCount(seconds, frameDurationSeconds);
}

void DiarizerTimelineConfig::setOffsetPadSeconds(float seconds) {
    offsetPadFrames = nearestFrameCount(seconds, frameDurationSeconds);
}

void DiarizerTimelineConfig::setMinDurationOn(float seconds) {
    minFramesOn = nearestFrameCount(seconds, frameDurationSeconds);
}

void DiarizerTimelineConfig::setMinDurationOff(float seconds) {
    minFramesOff = nearestFrameCount(seconds, frameDurationSeconds);
}

void DiarizerTimelineConfig::validate() const {
    if (numSpeakers < 1) {
        throw std::invalid_argument("A diarizer timeline needs at least one speaker slot, not " +
                                    std::to_string(numSpeakers) + ".");
    }
}

} // namespace quorl
