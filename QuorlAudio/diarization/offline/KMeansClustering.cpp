#include "QuorlAudio/diarization/offline/KMeansClustering.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using Embeddings = std::vector<std::vector<double>>;
using Labels = std::vector<std::int64_t>;

constexpr double largestDistance = std::numeric_limits<double>::max();
constexpr std::int64_t seedCount = 10;
constexpr std::int64_t searchIterations = 100;
constexpr std::int64_t slowConvergenceIteration = 82;

const AppLogger& logger() {
    static const AppLogger instance("KMeansClustering");
    return instance;
}

Embeddings normalizeEmbeddings(const Embeddings& embeddings) {
    Embeddings normalized = embeddings;
    for (auto& embedding : normalized) {
        const double norm = std::sqrt(platform::dsp::dot(embedding.data(), embedding.data(), embedding.size()));
        if (norm > 1e-10) {
            platform::dsp::multiplyScalar(embedding.data(), 1.0 / norm, embedding.data(), embedding.size());
        }
    }
    return normalized;
}

double squaredDistance(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) {
        return largestDistance;
    }
    double total = 0;
    for (std::size_t index = 0; index < a.size(); ++index) {
        total += (a[index] - b[index]) * (a[index] - b[index]);
    }
    return total;
}

Embeddings initializeCentroids(const Embeddings& embeddings, std::size_t k, KMeansClustering::SeededRNG& rng) {
    std::vector<std::size_t> order(embeddings.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    rng.shuffle(order);
    Embeddings centroids;
    for (std::size_t index = 0; index < k; ++index) {
        centroids.push_back(embeddings[order[index]]);
    }
    return centroids;
}

// Ties keep the lower centroid; a distance that is not a number never wins.
Labels assignToCentroids(const Embeddings& embeddings, const Embeddings& centroids) {
    Labels assignments;
    assignments.reserve(embeddings.size());
    for (const auto& embedding : embeddings) {
        std::int64_t best = 0;
        double bestDistance = largestDistance;
        for (std::size_t centroid = 0; centroid < centroids.size(); ++centroid) {
            const double distance = squaredDistance(centroids[centroid], embedding);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<std::int64_t>(centroid);
            }
        }
        assignments.push_back(best);
    }
    return assignments;
}

// Member means, not re-normalised; an empty cluster takes a randomly drawn embedding, drawn in cluster order.
Embeddings updateCentroids(const Embeddings& embeddings, const Labels& assignments, std::size_t k,
                           std::size_t dimension, KMeansClustering::SeededRNG& rng) {
    Embeddings sums(k, std::vector<double>(dimension, 0.0));
    std::vector<std::size_t> members(k, 0);
    for (std::size_t index = 0; index < embeddings.size(); ++index) {
        const auto cluster = static_cast<std::size_t>(assignments[index]);
        if (embeddings[index].size() < dimension) {
            logger().warning(
                concatenated({"Embedding ", std::to_string(index), " holds ", std::to_string(embeddings[index].size()),
                              " values, fewer than ", std::to_string(dimension), "; left out of its centroid"}));
            continue;
        }
        platform::dsp::addScaled(embeddings[index].data(), 1.0, sums[cluster].data(), dimension);
        ++members[cluster];
    }
    for (std::size_t cluster = 0; cluster < k; ++cluster) {
        if (members[cluster] > 0) {
            platform::dsp::multiplyScalar(sums[cluster].data(), 1.0 / static_cast<double>(members[cluster]),
                                          sums[cluster].data(), dimension);
        } else {
            sums[cluster] = embeddings[rng.nextBelow(embeddings.size())];
        }
    }
    return sums;
}

KMeansClustering::Result lloyd(const Embeddings& normalized, std::size_t k, std::int64_t maxIterations,
                               KMeansClustering::SeededRNG& rng) {
    const std::size_t dimension = normalized.front().size();
    auto centroids = initializeCentroids(normalized, k, rng);
    Labels assignments(normalized.size(), 0);
    if (maxIterations == 0) {
        return {std::move(assignments), std::move(centroids)};
    }
    for (std::int64_t iteration = 1;; ++iteration) {
        auto next = assignToCentroids(normalized, centroids);
        if (next == assignments) {
            return {std::move(assignments), std::move(centroids)};
        }
        assignments = std::move(next);
        centroids = updateCentroids(normalized, assignments, k, dimension, rng);
        if (iteration >= slowConvergenceIteration) {
            logger().warning("K-Means slow convergence at iteration " + std::to_string(iteration));
        }
        if (iteration == maxIterations) {
            return {std::move(assignments), std::move(centroids)};
        }
    }
}

double inertia(const Embeddings& normalized, const KMeansClustering::Result& result) {
    double total = 0;
    for (std::size_t index = 0; index < normalized.size(); ++index) {
        const auto cluster = result.clusters[index];
        if (cluster >= 0 && static_cast<std::size_t>(cluster) < result.centroids.size()) {
            total += squaredDistance(normalized[index], result.centroids[static_cast<std::size_t>(cluster)]);
        }
    }
    return total;
}

} // namespace

std::uint64_t KMeansClustering::SeededRNG::next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state;
}

std::uint64_t KMeansClustering::SeededRNG::nextBelow(std::uint64_t bound) {
    auto product = static_cast<unsigned __int128>(next()) * bound;
    if (static_cast<std::uint64_t>(product) < bound) {
        const std::uint64_t threshold = (0 - bound) % bound;
        while (static_cast<std::uint64_t>(product) < threshold) {
            product = static_cast<unsigned __int128>(next()) * bound;
        }
    }
    return static_cast<std::uint64_t>(product >> 64);
}

void KMeansClustering::SeededRNG::shuffle(std::vector<std::size_t>& values) {
    if (values.size() < 2) {
        return;
    }
    for (std::size_t index = 0; index + 1 < values.size(); ++index) {
        const auto other = index + static_cast<std::size_t>(nextBelow(values.size() - index));
        if (other != index) {
            std::swap(values[index], values[other]);
        }
    }
}

KMeansClustering::Result KMeansClustering::clusterWithCentroids(const Embeddings& embeddings, std::int64_t numClusters,
                                                                std::int64_t maxIterations,
                                                                std::optional<std::uint64_t> seed) {
    const auto count = static_cast<std::int64_t>(embeddings.size());
    if (count == 0) {
        return {};
    }
    const std::int64_t k = std::min(count, numClusters);
    if (embeddings.front().empty() || k <= 0) {
        return {Labels(embeddings.size(), 0), {}};
    }
    if (numClusters >= count) {
        Labels identity(embeddings.size());
        std::iota(identity.begin(), identity.end(), std::int64_t{0});
        return {std::move(identity), embeddings};
    }
    SeededRNG rng{.state = seed.value_or(0)};
    return lloyd(normalizeEmbeddings(embeddings), static_cast<std::size_t>(k), maxIterations, rng);
}

KMeansClustering::Result KMeansClustering::clusterWithSeedSearch(const Embeddings& embeddings,
                                                                 std::int64_t numClusters) {
    if (numClusters >= static_cast<std::int64_t>(embeddings.size())) {
        return clusterWithCentroids(embeddings, numClusters, searchIterations, 0);
    }
    const auto normalized = normalizeEmbeddings(embeddings);
    std::optional<Result> best;
    double bestInertia = largestDistance;
    for (std::int64_t seed = 0; seed < seedCount; ++seed) {
        auto result = clusterWithCentroids(embeddings, numClusters, searchIterations, static_cast<std::uint64_t>(seed));
        const double value = inertia(normalized, result);
        if (value < bestInertia) {
            bestInertia = value;
            best = std::move(result);
        }
    }
    return best ? std::move(*best) : clusterWithCentroids(embeddings, numClusters, searchIterations, 0);
}

} // namespace quorl
