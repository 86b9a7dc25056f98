#include "QuorlAudio/diarization/offline/AHCClustering.hpp"

#include "QuorlAudio/diarization/offline/CentroidLinkage.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string>

namespace quorl {
namespace {

using platform::core::concatenated;

const AppLogger& logger() {
    static const AppLogger instance("OfflineAHC");
    return instance;
}

std::vector<double> normalizeFeatures(const std::vector<std::vector<double>>& rows, std::size_t dimension) {
    std::vector<double> flat(rows.size() * dimension, 0.0);
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const auto& row = rows[index];
        if (row.size() < dimension) {
            logger().warning(
                concatenated({"Embedding ", std::to_string(index), " holds ", std::to_string(row.size()),
                              " values, fewer than ", std::to_string(dimension), "; clustering it as a zero vector"}));
            continue;
        }
        const double squares = platform::dsp::dot(row.data(), row.data(), dimension);
        if (squares > 0) {
            platform::dsp::multiplyScalar(row.data(), 1.0 / std::sqrt(squares), flat.data() + index * dimension,
                                          dimension);
        }
    }
    return flat;
}

double convertThresholdToDistance(double threshold) {
    if (std::isnan(threshold)) {
        return std::numeric_limits<double>::infinity();
    }
    if (std::abs(threshold) > 1) {
        logger().debug(concatenated(
            {"Clustering threshold ", decimalText(threshold), " outside cosine range; clamping to [-1, 1]"}));
    }
    const double clamped = std::max(threshold, -1.0);
    const double value = clamped < 1 ? 2 - 2 * clamped : 0.0;
    return std::sqrt(std::max(value, 0.0));
}

// The tree read back from the linkage rows: children and merge height of every internal node.
struct Dendrogram {
    std::vector<std::int64_t> left;
    std::vector<std::int64_t> right;
    std::vector<double> height;
};

Dendrogram dendrogramFrom(const std::vector<double>& rows, std::size_t count) {
    Dendrogram tree{.left = std::vector<std::int64_t>(2 * count - 1, -1),
                    .right = std::vector<std::int64_t>(2 * count - 1, -1),
                    .height = std::vector<double>(2 * count - 1, 0.0)};
    for (std::size_t row = 0; row + 1 < count; ++row) {
        tree.left[count + row] = static_cast<std::int64_t>(rows[4 * row]);
        tree.right[count + row] = static_cast<std::int64_t>(rows[4 * row + 1]);
        tree.height[count + row] = rows[4 * row + 2];
    }
    return tree;
}

void labelSubtree(const Dendrogram& tree, std::int64_t root, std::int64_t count, std::int64_t label,
                  std::vector<std::int64_t>& assignment) {
    std::vector<std::int64_t> pending{root};
    while (!pending.empty()) {
        const std::int64_t node = pending.back();
        pending.pop_back();
        if (node < 0) {
            continue;
        }
        if (node < count) {
            assignment[static_cast<std::size_t>(node)] = label;
            continue;
        }
        pending.push_back(tree.left[static_cast<std::size_t>(node)]);
        pending.push_back(tree.right[static_cast<std::size_t>(node)]);
    }
}

// Walking down from the root, the first node at or below the cut holds all its points in one cluster; a point
// reached without meeting such a node is alone.
std::vector<std::int64_t> assignmentsFromDendrogram(const std::vector<double>& rows, std::size_t count,
                                                    double distanceThreshold) {
    if (count < 1) {
        return {};
    }
    if (count == 1) {
        return {0};
    }
    const auto tree = dendrogramFrom(rows, count);
    const auto points = static_cast<std::int64_t>(count);
    std::vector<std::int64_t> assignment(count, -1);
    std::int64_t next = 0;
    std::vector<std::int64_t> pending{2 * points - 2};
    while (!pending.empty()) {
        const std::int64_t node = pending.back();
        pending.pop_back();
        if (node < 0) {
            continue;
        }
        if (node < points) {
            if (assignment[static_cast<std::size_t>(node)] == -1) {
                assignment[static_cast<std::size_t>(node)] = next++;
            }
        } else if (tree.height[static_cast<std::size_t>(node)] <= distanceThreshold) {
            labelSubtree(tree, node, points, next++, assignment);
        } else {
            for (const auto child :
                 {tree.left[static_cast<std::size_t>(node)], tree.right[static_cast<std::size_t>(node)]}) {
                if (child >= 0) {
                    pending.push_back(child);
                }
            }
        }
    }
    for (auto& label : assignment) {
        if (label == -1) {
            label = next++;
        }
    }
    return assignment;
}

std::vector<std::int64_t> remapClusterIds(const std::vector<std::int64_t>& labels) {
    std::map<std::int64_t, std::int64_t> renamed;
    std::vector<std::int64_t> result;
    result.reserve(labels.size());
    for (const auto label : labels) {
        result.push_back(renamed.try_emplace(label, static_cast<std::int64_t>(renamed.size())).first->second);
    }
    return result;
}

std::vector<std::int64_t> everyEmbeddingAlone(std::size_t count) {
    std::vector<std::int64_t> labels(count);
    for (std::size_t index = 0; index < count; ++index) {
        labels[index] = static_cast<std::int64_t>(index);
    }
    return labels;
}

} // namespace

std::vector<std::int64_t> AHCClustering::cluster(const std::vector<std::vector<double>>& embeddingFeatures,
                                                 double threshold) const {
    const std::size_t count = embeddingFeatures.size();
    if (count == 0) {
        return {};
    }
    const std::size_t dimension = embeddingFeatures.front().size();
    if (dimension == 0) {
        return std::vector<std::int64_t>(count, 0);
    }
    if (count == 1) {
        return {0};
    }
    const auto features = normalizeFeatures(embeddingFeatures, dimension);
    std::vector<double> rows(4 * (count - 1), 0.0);
    const auto status =
        fastcluster_compute_centroid_linkage(features.data(), count, dimension, rows.data(), rows.size());
    if (status != 0) {
        logger().error("fastcluster failed with status " + std::to_string(status));
        return everyEmbeddingAlone(count);
    }
    return remapClusterIds(assignmentsFromDendrogram(rows, count, convertThresholdToDistance(threshold)));
}

} // namespace quorl
