#pragma once

#include "QuorlAudio/diarization/offline/SegmentationOutput.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace quorl {

// The whole recording on one grid of segmentation frames: the windows' speaker weights added up per frame and
// per global cluster, how many speakers each frame holds and which clusters they are.
struct ReconstructionFrames {
    // Seconds per frame; frame f covers [f × frameDuration, (f + 1) × frameDuration).
    double frameDuration = 0;
    // C: at least 1, even without centroids.
    std::int64_t clusterCount = 1;
    // F rows of C: the summed activations, the number of window rows that voted, and their quotient (0 where
    // none voted).
    std::vector<std::vector<double>> activationSums{};
    std::vector<std::vector<double>> voteCounts{};
    std::vector<std::vector<double>> meanActivations{};
    // Per frame: the mean summed speaker weight of the rows covering it, rounded half to even and held within
    // 0 … min(local speakers, C); 0 where no row covers it.
    std::vector<std::int64_t> speakerCountPerFrame{};
    // Per frame: the clusters with the largest activation sums, as many as it counts speakers.
    std::vector<std::vector<std::int64_t>> perFrameClusters{};
    // Number of covered frames per speaker count.
    std::map<std::int64_t, std::int64_t> countHistogram{};

    // None for no windows, no frames, a frame duration that is not positive, or a recording too long to grid.
    // A window without cluster entries, and entries outside 0 … C − 1, cast no vote; every row's weights still
    // count towards its frame's speakers. Several local speakers of one cluster give it their maximum.
    static std::optional<ReconstructionFrames> build(const SegmentationOutput& segmentation,
                                                     const std::vector<std::vector<std::int64_t>>& hardClusters,
                                                     std::int64_t centroidCount, double windowDurationSeconds);

    std::int64_t frameCount() const { return static_cast<std::int64_t>(speakerCountPerFrame.size()); }
};

} // namespace quorl
