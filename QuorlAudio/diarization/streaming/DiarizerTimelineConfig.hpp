#pragma once

#include "QuorlAudio/diarization/streaming/DiarizerActivityType.hpp"

#include <cstdint>
#include <optional>

namespace quorl {

// How a diarizer timeline turns per-frame speaker probabilities into segments. The defaults of the fields are
// those of defaultConfig(1, 0.08).
struct DiarizerTimelineConfig {
    // Speaker slots: the width of each prediction row. A timeline needs at least one.
    std::int64_t numSpeakers = 1;
    float frameDurationSeconds = 0.08f;
    // A silent slot starts speaking on a frame whose probability is above this.
    float onsetThreshold = 0.5f;
    // A speaking slot goes on while its probability is at least this.
    float offsetThreshold = 0.5f;
    // Frames added before every onset and after every end of speech.
    std::int64_t onsetPadFrames = 0;
    std::int64_t offsetPadFrames = 0;
    // The shortest speech run kept, in frames.
    std::int64_t minFramesOn = 0;
    // Gaps of up to this many frames between padded runs are bridged.
    std::int64_t minFramesOff = 0;
    // Finalized prediction frames kept by the timeline: all when absent, none when 0.
    std::optional<std::int64_t> maxStoredFrames{};
    DiarizerActivityType activityType = DiarizerActivityType::sigmoids;
    // Also record emitted segments in the timeline's speakers.
    bool storeSegments = true;

    // The same settings with the pads and minimums given in seconds.
    struct Durations {
        std::optional<std::int64_t> numSpeakers{};
        std::optional<float> frameDurationSeconds{};
        float onsetThreshold = 0.5f;
        float offsetThreshold = 0.5f;
        float onsetPadSeconds = 0;
        float offsetPadSeconds = 0;
        float minDurationOn = 0;
        float minDurationOff = 0;
        DiarizerActivityType activityType = DiarizerActivityType::sigmoids;
        std::optional<std::int64_t> maxStoredFrames{};
        bool storeSegments = true;
    };

    // Each duration becomes the nearest whole number of frames, halves away from zero. Throws
    // std::invalid_argument for a duration that is no such number.
    static DiarizerTimelineConfig fromDurations(const Durations& durations);
    static DiarizerTimelineConfig defaultConfig(std::int64_t numSpeakers, float frameDurationSeconds);
    static DiarizerTimelineConfig sortformerDefault();

    // The frame counts in seconds; setting one rounds to the nearest frame as fromDurations does.
    float onsetPadSeconds() const;
    float offsetPadSeconds() const;
    float minDurationOn() const;
    float minDurationOff() const;
    void setOnsetPadSeconds(float seconds);
    void setOffsetPadSeconds(float seconds);
    void setMinDurationOn(float seconds);
    void setMinDurationOff(float seconds);

    // Throws std::invalid_argument unless there is at least one speaker slot.
    void validate() const;

    bool operator==(const DiarizerTimelineConfig&) const = default;
};

} // namespace quorl
