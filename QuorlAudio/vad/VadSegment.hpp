#pragma once

#include <cstdint>

namespace quorl {

// One stretch of speech, in seconds from the start of the recording.
struct VadSegment {
    double startTime = 0.0;
    double endTime = 0.0;

    double duration() const { return endTime - startTime; }
    // The times at a sample rate, truncated toward zero.
    std::int64_t startSample(int sampleRate) const;
    std::int64_t endSample(int sampleRate) const;
    std::int64_t sampleCount(int sampleRate) const;

    bool operator==(const VadSegment&) const = default;
};

} // namespace quorl
