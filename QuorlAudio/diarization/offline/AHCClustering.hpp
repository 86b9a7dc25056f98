#pragma once

#include <cstdint>
#include <vector>

namespace quorl {

// The warm start of the offline diarizer: agglomerative clustering with centroid linkage of the L2-normalised
// embeddings, cut at the Euclidean distance between two unit vectors whose cosine similarity is the threshold.
class AHCClustering {
public:
    // One label per embedding, 0 … K − 1 in order of first appearance. Never fails: when the linkage fails
    // (logged at error level) every embedding is its own speaker. A threshold outside [−1, 1] is clamped; one
    // that is not a number merges everything. Rows are read up to the first row's length; a shorter row is
    // left out of the linkage as a zero vector, with a warning.
    std::vector<std::int64_t> cluster(const std::vector<std::vector<double>>& embeddingFeatures,
                                      double threshold) const;
};

} // namespace quorl
