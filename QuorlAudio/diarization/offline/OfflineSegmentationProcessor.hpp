#pragma once

#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/SegmentationChunk.hpp"
#include "QuorlAudio/diarization/offline/SegmentationChunkContinuation.hpp"
#include "QuorlAudio/diarization/offline/SegmentationOutput.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"
#include "platform/ml/Model.hpp"

#include <functional>
#include <memory>

namespace quorl {

class ANEMemoryOptimizer;

// The first stage of the offline diarizer: slides a window over the whole recording, runs the powerset
// segmentation model on batches of up to 32 windows and decodes each window's frames into log-probabilities
// and the activity of three local speakers. Each window is handed to the chunk handler as soon as it is
// decoded, and all of them are returned at the end.
//
// Model interface: input "audio", Float32 [windows, 1, window samples], one window per row; output
// "segments" (or "log_probs", or the first multi-array), [windows, frames, classes] or [frames, classes] for
// a single window, read through its strides and element type.
class OfflineSegmentationProcessor {
public:
    // Called synchronously with every decoded window until it answers stop.
    using ChunkHandler = std::function<SegmentationChunkContinuation(const SegmentationChunk&)>;

    OfflineSegmentationProcessor();

    // Segments the source's samples (at the configuration's sample rate). Throws
    // OfflineDiarizationError::noSpeechDetected for an empty source, processingFailed for an output it cannot
    // read (see SegmentationScores), the cancellation error when the current task is cancelled, and the
    // errors of the source, the pool and the model unchanged. A failed warm-up prediction is only logged.
    SegmentationOutput process(const AudioSampleSource& audioSource, const platform::ml::Model& segmentationModel,
                               const OfflineDiarizerConfig& config, const ChunkHandler& chunkHandler = {}) const;

    // The processor's own pool of model inputs: "offline_segmentation_audio_<windows>_<window samples>" per
    // batch size and "offline_segmentation_warmup_<window samples>".
    const std::shared_ptr<ANEMemoryOptimizer>& memoryOptimizer() const { return memoryOptimizer_; }

private:
    std::shared_ptr<ANEMemoryOptimizer> memoryOptimizer_;
};

} // namespace quorl
