#include "QuorlAudio/diarization/offline/KMeansClustering.hpp"

#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Embeddings = std::vector<std::vector<double>>;
using Labels = std::vector<std::int64_t>;

TEST(KMeansClusteringTests, TheGeneratorIsALinearCongruentialSequenceFromTheSeed) {
    KMeansClustering::SeededRNG rng;
    EXPECT_EQ(rng.next(), 1442695040888963407ULL);
    EXPECT_EQ(rng.next(), 1442695040888963407ULL * 6364136223846793005ULL + 1442695040888963407ULL);

    // The high word of r × bound; r = 1442695040888963407 is 0.0782 of the 64-bit range.
    KMeansClustering::SeededRNG bounded;
    EXPECT_EQ(bounded.nextBelow(100), 7u);
    std::vector<std::size_t> one{4};
    bounded.shuffle(one);
    KMeansClustering::SeededRNG untouched{.state = bounded.state};
    EXPECT_EQ(bounded.next(), untouched.next()) << "a one-element shuffle draws nothing";
}

TEST(KMeansClusteringTests, DegenerateInputsGiveFixedResultsWithoutDrawing) {
    const Embeddings three{{1.0, 0.0}, {0.0, 2.0}, {3.0, 4.0}};
    const struct {
        std::string name;
        Embeddings embeddings;
        std::int64_t clusters;
        KMeansClustering::Result expected;
    } cases[] = {
        {"no embedding", {}, 2, {}},
        {"empty embeddings", {{}, {}}, 1, {{0, 0}, {}}},
        {"no cluster", three, 0, {{0, 0, 0}, {}}},
        {"as many clusters as embeddings keeps them unnormalised", three, 3, {{0, 1, 2}, three}},
        {"more clusters than embeddings", three, 7, {{0, 1, 2}, three}},
    };
    for (const auto& c : cases) {
        const auto result = KMeansClustering::clusterWithCentroids(c.embeddings, c.clusters, 100, std::nullopt);
        EXPECT_EQ(result.clusters, c.expected.clusters) << c.name;
        EXPECT_EQ(result.centroids, c.expected.centroids) << c.name;
    }
}

TEST(KMeansClusteringTests, SeparatesDirectionsAndAnAbsentSeedIsSeedZero) {
    const Embeddings embeddings{{2.0, 0.1}, {0.1, 3.0}, {1.0, 0.0}, {0.0, 1.0}, {4.0, 0.2}};
    const auto absent = KMeansClustering::clusterWithCentroids(embeddings, 2, 100, std::nullopt);
    const auto zero = KMeansClustering::clusterWithCentroids(embeddings, 2, 100, 0);
    EXPECT_EQ(absent.clusters, zero.clusters);
    EXPECT_EQ(absent.centroids, zero.centroids);
    const auto a = absent.clusters[0];
    EXPECT_EQ(absent.clusters, (Labels{a, 1 - a, a, 1 - a, a}));
    // Centroids are means of the normalised members, not normalised again.
    const auto& mean = absent.centroids[static_cast<std::size_t>(1 - a)];
    EXPECT_NEAR(mean[0], (0.1 / std::hypot(0.1, 3.0)) / 2, 1e-12);
    EXPECT_LT(std::hypot(mean[0], mean[1]), 1.0);
}

TEST(KMeansClusteringTests, AFirstAssignmentEqualToTheStartKeepsTheInitialCentroids) {
    // Every embedding is nearest to the first centroid drawn, so nothing moves from the all-zero start.
    const Embeddings embeddings{{1.0, 0.0}, {1.0, 0.0}, {1.0, 0.0}};
    const auto result = KMeansClustering::clusterWithCentroids(embeddings, 2, 100, 5);
    EXPECT_EQ(result.clusters, (Labels{0, 0, 0}));
    EXPECT_EQ(result.centroids, (Embeddings{{1.0, 0.0}, {1.0, 0.0}}));

    const auto noIteration =
        KMeansClustering::clusterWithCentroids({{1.0, 0.0}, {0.0, 2.0}, {0.0, 3.0}}, 2, 0, std::nullopt);
    EXPECT_EQ(noIteration.clusters, (Labels{0, 0, 0}));
    EXPECT_EQ(noIteration.centroids.size(), 2u);
}

TEST(KMeansClusteringTests, WarnsOfSlowConvergenceFromIteration82ToTheLast) {
    // Members longer than the first embedding never match a centroid of its length: they fall back to cluster
    // 0 and leave cluster 1 empty, and the next random draw puts one of them back into cluster 1. Seed 768
    // keeps drawing them for all 100 iterations.
    Embeddings embeddings{{1.0, 0.0}};
    embeddings.insert(embeddings.end(), 12, {0.0, 1.0, 1.0});
    testsupport::RecordingLogSink sink;
    KMeansClustering::clusterWithCentroids(embeddings, 2, 100, 768);
    std::vector<std::string> expected;
    for (int iteration = 82; iteration <= 100; ++iteration) {
        expected.push_back("K-Means slow convergence at iteration " + std::to_string(iteration));
    }
    EXPECT_EQ(sink.messages("KMeansClustering"), expected);
}

TEST(KMeansClusteringTests, EqualInertiaKeepsTheLowerSeed) {
    // Two exact pairs: every seed finds them with inertia 0, but seeds name the pairs differently.
    const Embeddings embeddings{{1.0, 0.0}, {0.0, 1.0}, {1.0, 0.0}, {0.0, 1.0}};
    const auto best = KMeansClustering::clusterWithSeedSearch(embeddings, 2);
    const auto seedZero = KMeansClustering::clusterWithCentroids(embeddings, 2, 100, 0);
    EXPECT_EQ(best.clusters, seedZero.clusters);
    EXPECT_EQ(best.centroids, seedZero.centroids);
    bool namedOtherwise = false;
    for (std::uint64_t seed = 1; seed < 10; ++seed) {
        namedOtherwise |=
            KMeansClustering::clusterWithCentroids(embeddings, 2, 100, seed).clusters != seedZero.clusters;
    }
    EXPECT_TRUE(namedOtherwise);
}

TEST(KMeansClusteringTests, SeedSearchForAsManyClustersAsEmbeddingsIsOneRun) {
    const Embeddings embeddings{{1.0, 0.0}, {0.0, 2.0}};
    const auto result = KMeansClustering::clusterWithSeedSearch(embeddings, 2);
    EXPECT_EQ(result.clusters, (Labels{0, 1}));
    EXPECT_EQ(result.centroids, embeddings);
}

} // namespace
} // namespace quorl
