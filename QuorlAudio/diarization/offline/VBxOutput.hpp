#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quorl {

// The refined clustering of the training embeddings.
struct VBxOutput {
    // T rows of S responsibilities, one row per training embedding.
    std::vector<std::vector<double>> gamma{};
    // S speaker priors.
    std::vector<double> pi{};
    // One list: the hard label of every training embedding.
    std::vector<std::vector<std::int64_t>> hardClusters{};
    // Empty after VBx; the K-means centroids (normalised embedding space) after a re-clustering.
    std::vector<std::vector<double>> centroids{};
    // S, the number of distinct warm-start labels; the target count after a re-clustering.
    std::int64_t numClusters = 0;
    // The ELBO after each iteration that ran.
    std::vector<double> elbos{};
    bool wasAdjusted = false;
    // The number of clusters that kept weight in the VBx result, when K-means replaced its labels.
    std::optional<std::int64_t> originalClusterCount{};

    bool operator==(const VBxOutput&) const = default;
};

} // namespace quorl
