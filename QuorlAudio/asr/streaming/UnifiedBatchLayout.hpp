#pragma once

#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"

#include <cstdint>
#include <vector>

namespace quorl {

// How the offline recogniser cuts a recording: windows of just under 15 s in whole encoder frames, each
// overlapping the next by 2 s (at most half a window) so that the merge can find the seam.
struct UnifiedBatchLayout {
    UnifiedConfig config;

    // 239360 samples (187 frames) at 16 kHz.
    std::int64_t windowSamples() const;
    // 32000 samples (25 frames) at 16 kHz.
    std::int64_t overlapSamples() const;
    std::int64_t strideSamples() const;

    // The first sample of every window; a window runs to min(totalSamples, start + windowSamples()). A last
    // stretch no longer than the overlap gets no window of its own: the previous window already holds it.
    std::vector<std::int64_t> chunkStarts(std::int64_t totalSamples) const;
};

} // namespace quorl
