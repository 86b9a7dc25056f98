#pragma once

#include "QuorlAudio/diarization/chunked/PowersetConversion.hpp"
#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <memory>
#include <span>

namespace quorl {

// Runs the segmentation model on one chunk and turns its per-frame powerset scores into the activity of three
// local speakers.
class SegmentationProcessor {
public:
    struct Result {
        // [batch][frame][speaker], one batch, three values of 0 or 1 per frame.
        PowersetConversion::Matrix segments;
        // Everything the model answered, for callers that read other outputs.
        std::shared_ptr<const platform::ml::FeatureProvider> featureProvider;
    };

    // The model hears exactly `chunkSize` samples: the chunk zero-padded at its end or cut after them. Throws
    // DiarizerError::processingFailed when the output "segments" is missing or is not 32-bit floats of shape
    // [batch, frames, 7] with at least one frame; the model's own errors pass through unchanged.
    Result getSegments(std::span<const float> audioChunk, const platform::ml::Model& segmentationModel,
                       std::size_t chunkSize);

private:
    PowersetConversion::Matrix processSegmentsOptimized(const platform::ml::MultiArray& output);

    ANEMemoryOptimizer memoryOptimizer_;
};

} // namespace quorl
