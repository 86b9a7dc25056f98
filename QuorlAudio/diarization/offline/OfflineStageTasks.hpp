#pragma once

#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizerModels.hpp"
#include "QuorlAudio/diarization/offline/SegmentationOutput.hpp"
#include "QuorlAudio/diarization/offline/TimedEmbedding.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"

#include <cstdint>
#include <functional>
#include <vector>

namespace quorl {

// Segmentation and embedding extraction of one recording at once, each on a thread of its own, joined by an
// unbounded stream of segmentation windows: extraction starts on the first window while later ones are still
// being segmented. The caller's cancellation does not reach the two tasks; a failure of either cancels both.
namespace OfflineStageTasks {

// Called on the segmentation task with (windows delivered so far, estimated window count).
using ProgressCallback = std::function<void(std::int64_t delivered, std::int64_t total)>;

struct Results {
    SegmentationOutput segmentation;
    // From just before segmentation until its stream was finished.
    double segmentationSeconds = 0;
    std::vector<TimedEmbedding> embeddings;
    // From just before extraction until it returned, waiting for windows included.
    double embeddingSeconds = 0;
};

// Throws the error of the stage that failed, unchanged: the segmentation's when both did.
Results run(const AudioSampleSource& audioSource, const OfflineDiarizerModels& models,
            const OfflineDiarizerConfig& config, const ProgressCallback& progressCallback);

} // namespace OfflineStageTasks

} // namespace quorl
