#include "QuorlAudio/diarization/offline/ZeroVoteReembedder.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace quorl::ZeroVoteReembedder {
namespace {

bool isZeroVote(std::int64_t speakerCount, const std::vector<double>& sums) {
    return speakerCount == 1 && std::ranges::all_of(sums, [](double sum) { return sum == 0; });
}

double cosine(const std::vector<double>& a, const std::vector<double>& b) {
    double product = 0;
    double squaresA = 0;
    double squaresB = 0;
    for (std::size_t index = 0; index < a.size(); ++index) {
        product += a[index] * b[index];
        squaresA += a[index] * a[index];
        squaresB += b[index] * b[index];
    }
    return product / std::sqrt(squaresA * squaresB);
}

} // namespace

std::vector<Run> detectRuns(const std::vector<std::int64_t>& speakerCountPerFrame,
                            const std::vector<std::vector<double>>& activationSums, double frameDuration,
                            double minDurationSeconds) {
    if (!(frameDuration > 0)) {
        return {};
    }
    const std::size_t frames = std::min(speakerCountPerFrame.size(), activationSums.size());
    std::vector<Run> runs;
    constexpr std::int64_t none = -1;
    std::int64_t open = none;
    const auto close = [&](std::size_t frame) {
        const auto end = static_cast<std::int64_t>(frame);
        if (open != none && static_cast<double>(end - open) * frameDuration >= minDurationSeconds) {
            runs.push_back({open, end});
        }
        open = none;
    };
    for (std::size_t frame = 0; frame < frames; ++frame) {
        if (!isZeroVote(speakerCountPerFrame[frame], activationSums[frame])) {
            close(frame);
        } else if (open == none) {
            open = static_cast<std::int64_t>(frame);
        }
    }
    close(frames);
    return runs;
}

std::optional<Assignment> assignment(const std::vector<double>& embedding,
                                     const std::vector<std::vector<double>>& centroids) {
    if (embedding.empty() || centroids.empty() ||
        !std::ranges::all_of(embedding, [](double value) { return std::isfinite(value); })) {
        return std::nullopt;
    }
    Assignment result;
    double best = -INFINITY;
    for (const auto& centroid : centroids) {
        if (centroid.size() != embedding.size()) {
            return std::nullopt;
        }
        const double similarity = cosine(embedding, centroid);
        if (!std::isfinite(similarity)) {
            return std::nullopt;
        }
        if (similarity > best) {
            best = similarity;
            result.clusterIndex = static_cast<std::int64_t>(result.similarities.size());
        }
        result.similarities.push_back(similarity);
    }
    return result;
}

} // namespace quorl::ZeroVoteReembedder
