#pragma once

#include <cstdint>
#include <vector>

namespace quorl {

// One decoded segmentation window.
struct SegmentationChunk {
    // Position of the window in the recording, from 0.
    std::int64_t chunkIndex = 0;
    // Window start, seconds.
    double chunkOffsetSeconds = 0;
    // Seconds per model frame.
    double frameDuration = 0;
    // Per frame, the log-softmax (natural logarithm) of the model's class scores.
    std::vector<std::vector<float>> logProbs;
    // Per frame, 1.0 for each of the three local speakers of the winning powerset class, 0.0 otherwise.
    std::vector<std::vector<float>> speakerWeights;
};

} // namespace quorl
