#pragma once

#include "platform/core/UUID.hpp"

#include <compare>
#include <cstdint>
#include <string>

namespace quorl {

// One speaker slot's speech over a run of frames. Every segment made gets a new random id. Equality and order
// look at the frames and the slot alone: start, then end, then slot.
class DiarizerSegment {
public:
    struct Frames {
        std::int64_t speakerIndex = 0;
        std::int64_t startFrame = 0;
        // Exclusive.
        std::int64_t endFrame = 0;
        bool finalized = false;
        float frameDurationSeconds = 0.08f;
        float activity = 0;
    };
    // The times become the nearest frames, halves away from zero.
    struct Times {
        std::int64_t speakerIndex = 0;
        float startTime = 0;
        float endTime = 0;
        bool finalized = false;
        float frameDurationSeconds = 0.08f;
        float activity = 0;
    };

    explicit DiarizerSegment(const Frames& frames);
    // Throws std::invalid_argument for a time that is no whole number of frames.
    explicit DiarizerSegment(const Times& times);

    const platform::core::UUID& id() const { return id_; }
    float frameDurationSeconds() const { return frameDurationSeconds_; }

    std::int64_t speakerIndex;
    // May be negative when an onset pad reaches before frame 0.
    std::int64_t startFrame;
    std::int64_t endFrame;
    // Made from finalized predictions.
    bool isFinalized;
    // The mean activity measure over the segment's active frames.
    float activity;

    float startTime() const;
    float endTime() const;
    std::int64_t length() const { return endFrame - startFrame; }
    float duration() const;
    // "Speaker " and the slot number.
    std::string speakerLabel() const;

    // Segments that only touch overlap.
    bool overlaps(const DiarizerSegment& other) const;
    // Takes the union of the frames, with the activity weighted by the two lengths; slot, flag and id stay.
    void absorb(const DiarizerSegment& other);
    void extendEnd(std::int64_t frame);
    void extendStart(std::int64_t frame);

    bool operator==(const DiarizerSegment& other) const;
    std::strong_ordering operator<=>(const DiarizerSegment& other) const;

private:
    platform::core::UUID id_;
    float frameDurationSeconds_;
};

} // namespace quorl
