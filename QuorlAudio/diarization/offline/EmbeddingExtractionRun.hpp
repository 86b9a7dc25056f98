#pragma once

#include "QuorlAudio/diarization/offline/EmbeddingStatistics.hpp"
#include "QuorlAudio/diarization/offline/OfflineChunkBatchInfo.hpp"
#include "QuorlAudio/diarization/offline/SegmentationChunk.hpp"
#include "QuorlAudio/diarization/offline/TimedEmbedding.hpp"
#include "QuorlAudio/diarization/offline/WindowSpeakerEmbeddings.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"
#include "platform/core/AsyncStream.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace quorl {

class OfflineEmbeddingExtractor;

// One pass of the embedding stage over a recording: cuts each arriving segmentation window out of the audio,
// runs the FBANK model on batches of windows, hands each window with its features to the speaker embedding of
// WindowSpeakerEmbeddings, and logs the run's summary at the end.
class EmbeddingExtractionRun {
public:
    EmbeddingExtractionRun(const OfflineEmbeddingExtractor& extractor, const AudioSampleSource& audioSource);

    std::vector<TimedEmbedding> run(platform::core::AsyncStream<SegmentationChunk>& segmentationStream);

private:
    void warmUp() const;
    void accept(SegmentationChunk& chunk);
    void runFbankBatch();
    void logSummary() const;

    const OfflineEmbeddingExtractor& extractor_;
    const AudioSampleSource& audioSource_;
    std::int64_t sampleCount_;
    std::int64_t windowSamples_;
    std::size_t fbankBatchLimit_;
    std::vector<float> window_;
    std::vector<std::shared_ptr<platform::ml::MultiArray>> batchInputs_;
    std::vector<OfflineChunkBatchInfo> batchInfos_;
    EmbeddingStatistics statistics_;
    WindowSpeakerEmbeddings speakers_;
};

} // namespace quorl
