#pragma once

#include <cstdint>
#include <vector>

namespace quorl {

// A segmentation window waiting in an FBANK batch for its features.
struct OfflineChunkBatchInfo {
    std::int64_t chunkIndex = 0;
    // Window start in the recording, seconds.
    double chunkOffsetSeconds = 0;
    // Seconds per segmentation frame, above 0.
    double frameDuration = 0;
    // One row per frame, one weight per local speaker.
    std::vector<std::vector<float>> speakerWeights;
};

} // namespace quorl
