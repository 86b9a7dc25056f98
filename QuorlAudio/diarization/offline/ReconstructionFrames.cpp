#include "QuorlAudio/diarization/offline/ReconstructionFrames.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>

namespace quorl {
namespace {

// The overlap-add of every window row onto the grid, with the per-frame weight sums and coverage.
class FrameAccumulator {
public:
    FrameAccumulator(ReconstructionFrames& frames, std::size_t frameCount)
        : frames_(frames), weightSums_(frameCount, 0.0), coverage_(frameCount, 0.0),
          rowActivation_(static_cast<std::size_t>(frames.clusterCount), 0.0) {
        const std::vector<double> zeros(rowActivation_.size(), 0.0);
        frames_.activationSums.assign(frameCount, zeros);
        frames_.voteCounts.assign(frameCount, zeros);
    }

    void addRow(double rowStart, const std::vector<float>& weights, const std::vector<std::int64_t>* clusters) {
        const auto frame = globalFrame(rowStart);
        std::ranges::fill(rowActivation_, 0.0);
        const std::size_t slots = clusters ? std::min(clusters->size(), weights.size()) : 0;
        for (std::size_t speaker = 0; speaker < slots; ++speaker) {
            const std::int64_t cluster = (*clusters)[speaker];
            if (cluster >= 0 && cluster < frames_.clusterCount) {
                auto& value = rowActivation_[static_cast<std::size_t>(cluster)];
                value = std::max(value, static_cast<double>(weights[speaker]));
            }
        }
        weightSums_[frame] += std::accumulate(weights.begin(), weights.end(), 0.0, [](double sum, float weight) {
            return sum + static_cast<double>(weight);
        });
        coverage_[frame] += 1;
        for (std::size_t cluster = 0; cluster < rowActivation_.size(); ++cluster) {
            if (rowActivation_[cluster] > 0) {
                frames_.activationSums[frame][cluster] += rowActivation_[cluster];
                frames_.voteCounts[frame][cluster] += 1;
            }
        }
    }

    // Halves to even; frames no row covered count nobody.
    std::int64_t speakerCount(std::size_t frame, std::int64_t maximum) const {
        if (coverage_[frame] <= 0) {
            return 0;
        }
        const double mean = std::nearbyint(weightSums_[frame] / coverage_[frame]);
        return std::isnan(mean) ? 0 : static_cast<std::int64_t>(std::clamp(mean, 0.0, static_cast<double>(maximum)));
    }

    bool isCovered(std::size_t frame) const { return coverage_[frame] > 0; }

private:
    std::size_t globalFrame(double rowStart) const {
        const double position = std::round(rowStart / frames_.frameDuration);
        const double last = static_cast<double>(weightSums_.size() - 1);
        return static_cast<std::size_t>(std::isnan(position) ? 0.0 : std::clamp(position, 0.0, last));
    }

    ReconstructionFrames& frames_;
    std::vector<double> weightSums_;
    std::vector<double> coverage_;
    std::vector<double> rowActivation_;
};

double windowStart(const SegmentationOutput& segmentation, std::size_t window, double windowDurationSeconds) {
    return window < segmentation.chunkOffsets.size() ? segmentation.chunkOffsets[window]
                                                     : static_cast<double>(window) * windowDurationSeconds;
}

// F, or none when the recording's end is not a number of frames the grid can hold.
std::optional<std::size_t> gridSize(const SegmentationOutput& segmentation, double windowDurationSeconds) {
    const double windowSpan = segmentation.frameDuration * static_cast<double>(segmentation.numFrames);
    double end = -INFINITY;
    for (std::size_t window = 0; window < static_cast<std::size_t>(segmentation.numChunks); ++window) {
        end = std::max(end, windowStart(segmentation, window, windowDurationSeconds) + windowSpan);
    }
    const double frames = std::ceil(end / segmentation.frameDuration);
    if (!std::isfinite(frames) || frames > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(std::max(1.0, frames));
}

std::vector<std::int64_t> strongestClusters(const std::vector<double>& sums, std::int64_t count) {
    std::vector<std::int64_t> order(sums.size());
    std::iota(order.begin(), order.end(), 0);
    std::ranges::stable_sort(order, [&sums](std::int64_t a, std::int64_t b) {
        return sums[static_cast<std::size_t>(a)] > sums[static_cast<std::size_t>(b)];
    });
    order.resize(static_cast<std::size_t>(std::min(count, static_cast<std::int64_t>(order.size()))));
    return order;
}

void addWindows(const SegmentationOutput& segmentation, const std::vector<std::vector<std::int64_t>>& hardClusters,
                double windowDurationSeconds, FrameAccumulator& accumulator) {
    const auto windows = std::min(static_cast<std::size_t>(segmentation.numChunks), segmentation.speakerWeights.size());
    for (std::size_t window = 0; window < windows; ++window) {
        const double start = windowStart(segmentation, window, windowDurationSeconds);
        const auto* clusters = window < hardClusters.size() ? &hardClusters[window] : nullptr;
        const auto& rows = segmentation.speakerWeights[window];
        for (std::size_t row = 0; row < rows.size(); ++row) {
            accumulator.addRow(start + segmentation.frameDuration * static_cast<double>(row), rows[row], clusters);
        }
    }
}

void decideFrames(ReconstructionFrames& frames, const FrameAccumulator& accumulator, std::int64_t maximumSpeakers) {
    const auto frameCount = frames.activationSums.size();
    frames.meanActivations.resize(frameCount);
    frames.speakerCountPerFrame.resize(frameCount);
    frames.perFrameClusters.resize(frameCount);
    for (std::size_t frame = 0; frame < frameCount; ++frame) {
        auto& means = frames.meanActivations[frame];
        means.resize(frames.activationSums[frame].size());
        std::ranges::transform(frames.activationSums[frame], frames.voteCounts[frame], means.begin(),
                               [](double sum, double votes) { return votes > 0 ? sum / votes : 0.0; });
        const std::int64_t count = accumulator.speakerCount(frame, maximumSpeakers);
        frames.speakerCountPerFrame[frame] = count;
        if (accumulator.isCovered(frame)) {
            ++frames.countHistogram[count];
        }
        if (count > 0) {
            frames.perFrameClusters[frame] = strongestClusters(frames.activationSums[frame], count);
        }
    }
}

} // namespace

std::optional<ReconstructionFrames>
ReconstructionFrames::build(const SegmentationOutput& segmentation,
                            const std::vector<std::vector<std::int64_t>>& hardClusters, std::int64_t centroidCount,
                            double windowDurationSeconds) {
    if (segmentation.numChunks < 1 || segmentation.numFrames < 1 || !(segmentation.frameDuration > 0)) {
        return std::nullopt;
    }
    const auto frameCount = gridSize(segmentation, windowDurationSeconds);
    if (!frameCount) {
        return std::nullopt;
    }
    ReconstructionFrames frames{.frameDuration = segmentation.frameDuration,
                                .clusterCount = std::max<std::int64_t>(1, centroidCount)};
    FrameAccumulator accumulator(frames, *frameCount);
    addWindows(segmentation, hardClusters, windowDurationSeconds, accumulator);
    decideFrames(frames, accumulator,
                 std::max<std::int64_t>(0, std::min(segmentation.numSpeakers, frames.clusterCount)));
    return frames;
}

} // namespace quorl
