#pragma once

#include "QuorlAudio/diarization/chunked/ChunkEmbedding.hpp"
#include "QuorlAudio/diarization/offline/SegmentationOutput.hpp"
#include "QuorlAudio/diarization/offline/TimedEmbedding.hpp"
#include "QuorlAudio/diarization/offline/VBxOutput.hpp"

#include <cstdint>
#include <map>
#include <vector>

namespace quorl {

class AppLogger;

// The offline diarizer's stages between clustering and reconstruction: which embeddings train the clustering,
// speaker centroids from a clustering, every embedding's nearest centroid by cosine similarity, the
// assignments per chunk and local speaker slot, and the public per-embedding records. None of them fails.
// Embeddings are expected to share the first one's length; a shorter one (and a responsibility row without
// the cluster's entry) is left out of a centroid with a warning.
class CentroidAssignment {
public:
    using Features = std::vector<std::vector<double>>;

    struct Centroids {
        Features centroids{};
        // Cluster label → position of its centroid.
        std::map<std::int64_t, std::int64_t> mapping{};

        bool operator==(const Centroids&) const = default;
    };

    // The chunk slot of an embedding that received none.
    static constexpr std::int64_t unassignedSlot = -2;

    // The indices of the embeddings whose values are all finite; every index when there is none.
    static std::vector<std::int64_t> selectTrainingEmbeddings(const std::vector<TimedEmbedding>& timedEmbeddings);

    // The mean of every label's embeddings, in ascending label order; nothing when the counts differ.
    static Centroids computeCentroidsFromClusters(const Features& embeddings,
                                                  const std::vector<std::int64_t>& clusters);

    // The K-means centroids after a re-clustering; otherwise the responsibility-weighted means of the clusters
    // whose prior exceeds 1e-7; otherwise the means of the initial labels.
    static Centroids computeCentroids(const Features& trainingEmbeddings, const VBxOutput& vbxOutput,
                                      const std::vector<std::int64_t>& initialClusters);

    // The mean of all embeddings, or nothing when there is none.
    static Features computeFallbackCentroids(const Features& embeddings);

    // The vector scaled to unit length; an empty or all-zero vector is returned unchanged, and one holding a
    // value that is not finite comes back not a number.
    static std::vector<double> normalize(const std::vector<double>& vector);

    // The index of the most cosine-similar centroid for every embedding; the first of equal scores wins and
    // a score that is not a number never does (so such an embedding gets 0). 0 for all without centroids.
    static std::vector<std::int64_t> assignEmbeddings(const Features& embeddingFeatures, const Features& centroids);

    // numChunks rows of numSpeakers slots holding the assignment of the slot's embedding, or unassignedSlot.
    // An embedding out of range, with an assignment outside 0 … clusterCount − 1, or holding a value that is
    // not finite (it was assigned only because no score won) leaves its slot alone.
    static std::vector<std::vector<std::int64_t>>
    buildChunkAssignments(const SegmentationOutput& segmentation, const std::vector<TimedEmbedding>& timedEmbeddings,
                          const std::vector<std::int64_t>& assignments, std::int64_t clusterCount);

    // One record per embedding, labelled "S" + (assignment + 1); none, with a warning, when the counts differ.
    static std::vector<ChunkEmbedding> buildPublicChunkEmbeddings(const std::vector<TimedEmbedding>& timedEmbeddings,
                                                                  const std::vector<std::int64_t>& assignments,
                                                                  const AppLogger& logger);
};

} // namespace quorl
