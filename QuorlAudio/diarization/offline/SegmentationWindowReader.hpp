#pragma once

#include "QuorlAudio/foundation/AudioSampleSource.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

// Fills a window of `windowSize` samples for each window start of a recording, zero-padded past its end.
// When a start follows the previous one by exactly `step` and the windows overlap, the overlap is shifted
// in memory and only the new samples are read from the source.
class SegmentationWindowReader {
public:
    SegmentationWindowReader(const AudioSampleSource& source, std::int64_t windowSize, std::int64_t step);

    // Samples [start, start + windowSize) of the recording, zeros past its end; valid until the next call.
    // Errors of the source are passed on.
    std::span<const float> read(std::int64_t start);

private:
    bool followsPrevious(std::int64_t start) const;
    void shiftIn(std::int64_t start);
    void readWhole(std::int64_t start);
    // Reads what the recording holds of [from, from + count) into `destination`, zeros after it.
    void copyPadded(float* destination, std::int64_t from, std::int64_t count) const;

    const AudioSampleSource& source_;
    std::int64_t totalSamples_;
    std::int64_t step_;
    std::vector<float> window_;
    std::optional<std::int64_t> previousStart_;
};

} // namespace quorl
