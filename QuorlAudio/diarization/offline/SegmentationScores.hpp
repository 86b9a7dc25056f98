#pragma once

#include "platform/ml/FeatureProvider.hpp"

#include <cstddef>
#include <span>
#include <vector>

namespace quorl {

// The class scores a segmentation prediction gave for a batch of windows, as dense floats
// [windows][frames][classes] whatever the output's layout and element type.
struct SegmentationScores {
    std::size_t windows = 0;
    std::size_t numFrames = 0;
    std::size_t numClasses = 0;
    std::vector<float> values;

    // The output "segments", else "log_probs", else the first multi-array output by name: rank 3
    // [windows, frames, classes], or rank 2 [frames, classes] for a single window. Throws
    // OfflineDiarizationError::processingFailed when there is no multi-array output, its rank is neither,
    // it has no frame or no class, or it holds fewer windows than `windowsSent` (the excess is never read).
    static SegmentationScores read(const platform::ml::FeatureProvider& output, std::size_t windowsSent);

    // The scores of one frame of one window.
    std::span<const float> frame(std::size_t window, std::size_t frameIndex) const;
};

} // namespace quorl
