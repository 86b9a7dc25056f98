#pragma once

#include <cstdint>
#include <vector>

namespace quorl {

// One speaker embedding of the offline diarizer: a local speaker of one segmentation window, the mask it was
// pooled under, where that mask is active and the embedding with its PLDA projection.
struct TimedEmbedding {
    std::int64_t chunkIndex = 0;
    // Column of the window's speaker weights.
    std::int64_t speakerIndex = 0;
    // First and last (inclusive) frame whose mask weight is above 0.001; both 0 when none is.
    std::int64_t startFrame = 0;
    std::int64_t endFrame = 0;
    // The mask at segmentation-frame resolution, before resampling for the embedding model.
    std::vector<float> frameWeights;
    // Seconds in the recording: the window offset plus the start frame, and plus the end frame + 1.
    double startTime = 0;
    double endTime = 0;
    // As the embedding model produced it, not normalised.
    std::vector<float> embedding256;
    std::vector<double> rho128;
};

} // namespace quorl
