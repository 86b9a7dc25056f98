#pragma once

#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/PLDATransform.hpp"
#include "QuorlAudio/diarization/offline/SegmentationOutput.hpp"
#include "QuorlAudio/diarization/offline/TimedEmbedding.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <cstdint>
#include <vector>

namespace quorl {

// The offline diarizer's clustering of one run: the embeddings with finite values train an agglomerative warm
// start refined by VBx (under the configured speaker counts), the clusters become centroids, and every
// embedding, and through it every chunk's local speaker, is assigned to its nearest centroid. Never fails.
class OfflineSpeakerClustering {
public:
    struct Result {
        // In the 256-value embedding space.
        std::vector<std::vector<double>> centroids{};
        // One centroid index per embedding.
        std::vector<std::int64_t> assignments{};
        // Per chunk and local speaker: the centroid index, or CentroidAssignment::unassignedSlot.
        std::vector<std::vector<std::int64_t>> chunkAssignments{};
        double seconds = 0;
    };

    OfflineSpeakerClustering(const OfflineDiarizerConfig& config, const PLDATransform& pldaTransform,
                             const AppLogger& logger);

    Result cluster(const SegmentationOutput& segmentation, const std::vector<TimedEmbedding>& embeddings) const;

private:
    using Features = std::vector<std::vector<double>>;

    std::vector<std::int64_t> warmStart(const Features& trainingEmbeddings) const;
    std::vector<std::vector<double>> centroidsOf(const Features& embeddingFeatures, const Features& trainingEmbeddings,
                                                 const Features& trainingRho,
                                                 const std::vector<std::int64_t>& initialClusters) const;
    void logAssignments(const Result& result) const;

    const OfflineDiarizerConfig& config_;
    const PLDATransform& pldaTransform_;
    const AppLogger& logger_;
};

} // namespace quorl
