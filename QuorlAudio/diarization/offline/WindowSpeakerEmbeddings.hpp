#pragma once

#include "QuorlAudio/diarization/offline/EmbeddingStatistics.hpp"
#include "QuorlAudio/diarization/offline/OfflineChunkBatchInfo.hpp"
#include "QuorlAudio/diarization/offline/TimedEmbedding.hpp"
#include "QuorlAudio/diarization/offline/WeightInterpolation.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

class OfflineEmbeddingExtractor;

// The per-window half of an embedding extraction: embeds every sufficiently active local speaker of a window
// under its (overlap-free when configured) mask, reuses an embedding when a slot's mask barely changed within
// an FBANK batch, and turns queued embeddings into TimedEmbedding records with PLDA projections in batches.
class WindowSpeakerEmbeddings {
public:
    // Rho vectors of a list of embeddings, one per embedding and in order.
    using Projection = std::function<std::vector<std::vector<double>>(const std::vector<std::vector<float>>&)>;

    // The projection runs in batches of min(extractor's batch limit, configured batch size), at least 1.
    WindowSpeakerEmbeddings(const OfflineEmbeddingExtractor& extractor, Projection projection,
                            EmbeddingStatistics& statistics);

    // Embeds the window's speakers in slot order, flushing whenever a PLDA batch fills. Throws
    // OfflineDiarizationError::processingFailed for frames of different speaker counts, and the errors of the
    // pool, the embedding model and the flush.
    void processChunk(const OfflineChunkBatchInfo& info,
                      const std::shared_ptr<platform::ml::MultiArray>& fbankFeatures);

    // Projects what is queued and appends the records; processingFailed "PldaRho batch size mismatch (expected
    // <p>, got <r>)" when the projection answers another number of vectors.
    void flush();
    bool hasPending() const { return !pendingRecords_.empty(); }
    // Cached embeddings are only valid for windows of the same FBANK batch.
    void clearSkipCache() { skipCache_.clear(); }

    std::int64_t pldaBatchSize() const { return pldaBatchSize_; }
    const std::vector<TimedEmbedding>& results() const { return results_; }
    std::vector<TimedEmbedding> takeResults() { return std::move(results_); }

private:
    struct CachedSpeakerEmbedding {
        std::vector<float> mask;
        std::vector<float> embedding;
    };

    // One local speaker's mask as it goes through selection.
    struct ChosenMask {
        std::vector<float> weights;
        float activeSum = 0;
    };

    std::span<const float> rowMajor(const OfflineChunkBatchInfo& info, std::size_t speakers);
    std::span<const float> transposed(std::span<const float> rowMajor, std::size_t frames, std::size_t speakers);
    void processSpeaker(const OfflineChunkBatchInfo& info, const std::shared_ptr<platform::ml::MultiArray>& features,
                        std::span<const float> mask, std::int64_t speaker, const std::vector<bool>& overlapped,
                        float minimumActiveFrames);
    std::optional<ChosenMask> chooseMask(std::span<const float> mask, const std::vector<bool>& overlapped,
                                         float minimumActiveFrames);
    std::vector<float> resample(const std::vector<float>& mask);
    std::vector<float> embed(std::int64_t speaker, const std::vector<float>& mask, std::span<const float> resampled,
                             const std::shared_ptr<platform::ml::MultiArray>& features);
    void enqueue(const OfflineChunkBatchInfo& info, std::int64_t speaker, ChosenMask chosen,
                 std::vector<float> embedding);

    const OfflineEmbeddingExtractor& extractor_;
    Projection projection_;
    EmbeddingStatistics& statistics_;
    std::int64_t pldaBatchSize_;
    std::optional<float> skipThreshold_;
    std::map<std::int64_t, CachedSpeakerEmbedding> skipCache_;
    // Per window frame count; the embedding model always takes the same number.
    std::map<std::int64_t, WeightInterpolation::InterpolationCoefficients> coefficients_;
    std::vector<std::vector<float>> pendingEmbeddings_;
    std::vector<TimedEmbedding> pendingRecords_;
    std::vector<TimedEmbedding> results_;
};

} // namespace quorl
