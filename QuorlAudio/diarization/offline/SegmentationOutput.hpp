#pragma once

#include <cstdint>
#include <vector>

namespace quorl {

// Every segmentation window of a recording, in window order.
struct SegmentationOutput {
    std::vector<std::vector<std::vector<float>>> logProbs;
    std::vector<std::vector<std::vector<float>>> speakerWeights;
    std::int64_t numChunks = 0;
    // Frames per window, from the last model output.
    std::int64_t numFrames = 0;
    // Local speakers per window: always 3.
    std::int64_t numSpeakers = 3;
    // Window starts, seconds.
    std::vector<double> chunkOffsets;
    double frameDuration = 0;
};

} // namespace quorl
