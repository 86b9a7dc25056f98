#pragma once

#include <cstdint>

namespace quorl {

// Mono Float32 samples read by position, whether held in memory or on disk.
//
// copySamples copies min(count, sampleCount - offset) samples from `offset` to the destination's first slots.
// Nothing is copied when count <= 0, when the source is empty or when offset >= sampleCount; a negative offset
// counts as 0 (the count is not reduced). Destination slots beyond the copied samples are left untouched, so a
// caller that needs zeros there clears them first.
class AudioSampleSource {
public:
    virtual ~AudioSampleSource() = default;

    virtual std::int64_t sampleCount() const = 0;
    virtual void copySamples(float* destination, std::int64_t offset, std::int64_t count) const = 0;

protected:
    AudioSampleSource() = default;
    AudioSampleSource(const AudioSampleSource&) = default;
    AudioSampleSource& operator=(const AudioSampleSource&) = default;
};

} // namespace quorl
