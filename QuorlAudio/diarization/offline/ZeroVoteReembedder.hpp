#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quorl {

// Finds the frames where speech was counted but no cluster voted, and picks the cluster whose centroid is most
// like a fresh embedding of such a stretch, so those frames need not fall to the lowest cluster index.
namespace ZeroVoteReembedder {

// Frames [start, end) of the global frame grid.
struct Run {
    std::int64_t start = 0;
    std::int64_t end = 0;

    bool operator==(const Run&) const = default;
};

struct Assignment {
    // The most similar centroid; the lower index wins a tie.
    std::int64_t clusterIndex = 0;
    // Cosine similarity to every centroid, in centroid order.
    std::vector<double> similarities{};
};

// The maximal runs of frames that count exactly one speaker and whose activation sums are all 0 (an empty row
// counts as all 0), lasting at least `minDurationSeconds`, in ascending order. Only frames present in both
// lists are read; none for a frame duration that is not positive.
std::vector<Run> detectRuns(const std::vector<std::int64_t>& speakerCountPerFrame,
                            const std::vector<std::vector<double>>& activationSums, double frameDuration,
                            double minDurationSeconds);

// None for an empty embedding, no centroids, a value that is not finite, a centroid of another length, or a
// cosine that is not a number (a zero vector).
std::optional<Assignment> assignment(const std::vector<double>& embedding,
                                     const std::vector<std::vector<double>>& centroids);

} // namespace ZeroVoteReembedder

} // namespace quorl
