#pragma once

#include "QuorlAudio/diarization/offline/EmbeddingInputShape.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/PLDATransform.hpp"
#include "QuorlAudio/diarization/offline/SegmentationChunk.hpp"
#include "QuorlAudio/diarization/offline/SegmentationOutput.hpp"
#include "QuorlAudio/diarization/offline/TimedEmbedding.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"
#include "platform/core/AsyncStream.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quorl {

class ANEMemoryOptimizer;

// The offline diarizer's embedding stage: the filterbank (FBANK) model turns a window of audio into features,
// and the embedding model pools them under a per-frame weight mask into one speaker embedding.
//
// Model interface: FBANK input "audio" (the window's samples, zero-padded), output "fbank_features"; embedding
// inputs "fbank_features" (the FBANK output, passed on as it is) and "weights" (the mask), output "embedding".
// The input shapes are read from the models; fallbacks apply only where a model reports none.
//
// Copies share the models and the buffer pool, so each diarization run builds its own extractor.
class OfflineEmbeddingExtractor {
public:
    // Throws OfflineDiarizationError::processingFailed, after logging the same text at error level, when a
    // model lacks one of the five features above.
    OfflineEmbeddingExtractor(std::shared_ptr<platform::ml::Model> fbankModel,
                              std::shared_ptr<platform::ml::Model> embeddingModel, PLDATransform pldaTransform,
                              OfflineDiarizerConfig config);

    // The raw embedding of [startSeconds, endSeconds) of the recording, aligned to the start of one window: a
    // span longer than a window keeps its first window. processingFailed for bounds that are not finite and
    // for a span that holds no sample.
    std::vector<float> embedSpan(const AudioSampleSource& audioSource, double startSeconds, double endSeconds) const;

    // Every speaker embedding of the recording, from the segmentation windows as they arrive, in production
    // order. Throws the cancellation error (checked before each window), the stream's error, and the errors of
    // the source, the models, the pool and the PLDA transform; nothing partial is returned.
    std::vector<TimedEmbedding>
    extractEmbeddings(const AudioSampleSource& audioSource,
                      platform::core::AsyncStream<SegmentationChunk>& segmentationStream) const;
    // The same over a finished segmentation of in-memory samples; windows without frames are left out.
    std::vector<TimedEmbedding> extractEmbeddings(std::vector<float> audio,
                                                  const SegmentationOutput& segmentation) const;

    // A zero-filled FBANK input holding the first samples of the chunk (at most audioSampleCount()).
    std::shared_ptr<platform::ml::MultiArray> prepareFbankInput(const float* chunkPointer, std::int64_t length) const;
    // The features of each input, in order, from one batched prediction; no prediction for no input.
    std::vector<std::shared_ptr<platform::ml::MultiArray>>
    runFbankBatch(const std::vector<std::shared_ptr<platform::ml::MultiArray>>& audioArrays) const;
    std::shared_ptr<platform::ml::MultiArray>
    runFbankModel(const std::shared_ptr<platform::ml::MultiArray>& audioArray) const;
    // A zero-filled weights input holding the first weights (at most weightFrameCount()).
    std::shared_ptr<platform::ml::MultiArray> prepareWeightsInput(std::span<const float> weights) const;
    std::vector<float> runEmbeddingModel(const std::shared_ptr<platform::ml::MultiArray>& fbankFeatures,
                                         const std::shared_ptr<platform::ml::MultiArray>& weightsArray) const;
    // One throw-away pass through both models on silence.
    void performEmbeddingWarmup() const;

    const EmbeddingInputShape::Shape& fbankInputShape() const { return fbankInputShape_; }
    const EmbeddingInputShape::Shape& weightInputShape() const { return weightInputShape_; }
    std::int64_t audioSampleCount() const { return audioSampleCount_; }
    std::int64_t weightFrameCount() const { return weightFrameCount_; }
    std::int64_t modelBatchLimit() const { return modelBatchLimit_; }
    const OfflineDiarizerConfig& config() const { return config_; }
    const PLDATransform& pldaTransform() const { return pldaTransform_; }
    // Scratch buffers of the per-window speaker masks live here.
    const std::shared_ptr<ANEMemoryOptimizer>& memoryOptimizer() const { return memoryOptimizer_; }

private:
    void discoverFbankModel();
    void discoverEmbeddingModel();
    void logConfiguration() const;

    std::shared_ptr<platform::ml::Model> fbankModel_;
    std::shared_ptr<platform::ml::Model> embeddingModel_;
    PLDATransform pldaTransform_;
    OfflineDiarizerConfig config_;
    std::shared_ptr<ANEMemoryOptimizer> memoryOptimizer_;
    EmbeddingInputShape::Shape fbankInputShape_;
    EmbeddingInputShape::Shape weightInputShape_;
    std::int64_t audioSampleCount_ = 1;
    std::int64_t weightFrameCount_ = 1;
    std::int64_t modelBatchLimit_ = 1;
};

} // namespace quorl
