#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorl {

// Lloyd K-means on L2-normalised embeddings whose random choices are reproducible from a 64-bit seed; the
// re-clustering the offline diarizer falls back to when a speaker count must be met.
class KMeansClustering {
public:
    // A 64-bit linear congruential generator: state × 6364136223846793005 + 1442695040888963407.
    struct SeededRNG {
        std::uint64_t state = 0;

        std::uint64_t next();
        // Uniform below `bound` (at least 1), by multiplication and rejection of the biased low range.
        std::uint64_t nextBelow(std::uint64_t bound);
        // Fisher–Yates from the front; fewer than two values draw nothing.
        void shuffle(std::vector<std::size_t>& values);
    };

    struct Result {
        // One cluster per embedding, 0 … numClusters − 1.
        std::vector<std::int64_t> clusters;
        std::vector<std::vector<double>> centroids;
    };

    // The embeddings are expected to share the first one's length; a shorter one takes no part in a centroid
    // (with a warning). No embedding, an empty first embedding or no cluster give all-zero labels and no
    // centroid; as many clusters as embeddings give one cluster each and the embeddings themselves, drawing
    // nothing. An absent seed is seed 0. maxIterations must not be negative.
    static Result clusterWithCentroids(const std::vector<std::vector<double>>& embeddings, std::int64_t numClusters,
                                       std::int64_t maxIterations, std::optional<std::uint64_t> seed);

    // The lowest-inertia result of seeds 0 … 9 with 100 iterations each (the lower seed on equal inertia);
    // one seed-0 run when numClusters is not below the number of embeddings.
    static Result clusterWithSeedSearch(const std::vector<std::vector<double>>& embeddings, std::int64_t numClusters);
};

} // namespace quorl
