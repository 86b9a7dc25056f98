#include "QuorlAudio/diarization/offline/CentroidAssignment.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Features = CentroidAssignment::Features;
using Labels = std::vector<std::int64_t>;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr float nanFloat = std::numeric_limits<float>::quiet_NaN();
constexpr float infinityFloat = std::numeric_limits<float>::infinity();

TimedEmbedding timed(std::int64_t chunk, std::int64_t speaker, std::vector<float> values) {
    TimedEmbedding embedding;
    embedding.chunkIndex = chunk;
    embedding.speakerIndex = speaker;
    embedding.embedding256 = std::move(values);
    return embedding;
}

TEST(CentroidAssignmentTests, TrainingUsesTheEmbeddingsWithFiniteValues) {
    const struct {
        std::string name;
        std::vector<TimedEmbedding> embeddings;
        Labels expected;
    } cases[] = {
        {"no embedding", {}, {}},
        {"one with a NaN left out", {timed(0, 0, {1, 2}), timed(0, 1, {nanFloat, 1}), timed(1, 0, {3, 4})}, {0, 2}},
        {"an empty embedding counts as finite", {timed(0, 0, {}), timed(0, 1, {-infinityFloat})}, {0}},
        {"none finite keeps every index",
         {timed(0, 0, {nanFloat}), timed(0, 1, {infinityFloat}), timed(1, 0, {-infinityFloat})},
         {0, 1, 2}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CentroidAssignment::selectTrainingEmbeddings(c.embeddings), c.expected) << c.name;
    }
}

TEST(CentroidAssignmentTests, CentroidsFollowTheClusteringThatProducedThem) {
    const Features embeddings{{1, 0}, {0, 2}, {3, 4}};
    const VBxOutput adjusted{
        .gamma = {{1, 0}, {0, 1}, {1, 0}}, .pi = {0.5, 0.5}, .centroids = {{9, 9}, {8, 8}}, .wasAdjusted = true};
    const VBxOutput weighted{.gamma = {{0.5, 0.0, 0.5}, {0.25, 0.5, 0.25}, {0.0, 0.0, 1.0}}, .pi = {0.6, 1e-8, 0.4}};
    const VBxOutput noWeight{.gamma = {{1.0}, {1.0}, {1.0}}, .pi = {1e-7}};
    const VBxOutput zeroColumn{.gamma = {{1, 0}, {1, 0}, {1, 0}}, .pi = {0.5, 0.5}};
    const struct {
        std::string name;
        VBxOutput vbx;
        Labels initial;
        CentroidAssignment::Centroids expected;
    } cases[] = {
        {"K-means centroids whatever gamma says", adjusted, {0, 1, 0}, {{{9, 9}, {8, 8}}, {{0, 0}, {1, 1}}}},
        {"responsibility-weighted means of the clusters with weight",
         weighted,
         {0, 0, 0},
         {{{(0.5 * 1 + 0.25 * 0) / 0.75, (0.25 * 2) / 0.75}, {(0.5 * 1 + 0.25 * 0 + 3) / 1.75, (0.5 + 4) / 1.75}},
          {{0, 0}, {2, 1}}}},
        {"initial labels in label order when no cluster keeps weight",
         noWeight,
         {3, 1, 3},
         {{{0, 2}, {2, 2}}, {{1, 0}, {3, 1}}}},
        {"no gamma falls back to the initial labels", VBxOutput{.pi = {1.0}}, {0, 0, 0}, {{{4.0 / 3, 2}}, {{0, 0}}}},
        {"a cluster without responsibility has a zero centroid",
         zeroColumn,
         {0, 0, 0},
         {{{4.0 / 3, 2}, {0, 0}}, {{0, 0}, {1, 1}}}},
    };
    for (const auto& c : cases) {
        const auto result = CentroidAssignment::computeCentroids(embeddings, c.vbx, c.initial);
        EXPECT_EQ(result.mapping, c.expected.mapping) << c.name;
        ASSERT_EQ(result.centroids.size(), c.expected.centroids.size()) << c.name;
        for (std::size_t index = 0; index < result.centroids.size(); ++index) {
            for (std::size_t d = 0; d < 2; ++d) {
                EXPECT_DOUBLE_EQ(result.centroids[index][d], c.expected.centroids[index][d]) << c.name;
            }
        }
    }
    EXPECT_EQ(CentroidAssignment::computeCentroids({}, weighted, {}), CentroidAssignment::Centroids{});
    EXPECT_EQ(CentroidAssignment::computeCentroidsFromClusters(embeddings, {0, 1}), CentroidAssignment::Centroids{});
}

TEST(CentroidAssignmentTests, ShortEmbeddingsAndGammaRowsWithoutTheClusterAreLeftOut) {
    testsupport::RecordingLogSink sink;
    const Features embeddings{{1, 0}, {5}, {3, 4}};
    const VBxOutput vbx{.gamma = {{1, 1}, {1, 1}, {1}}, .pi = {0.5, 0.5}};
    const auto result = CentroidAssignment::computeCentroids(embeddings, vbx, {});
    EXPECT_EQ(result.centroids, (Features{{2, 2}, {1, 0}}));
    EXPECT_EQ(
        sink.messages("OfflineDiarizer"),
        (std::vector<std::string>{"Embedding 1 holds 1 values, fewer than 2; left out of its centroid",
                                  "Embedding 1 holds 1 values, fewer than 2; left out of its centroid",
                                  "Responsibilities of embedding 2 hold no cluster 1; left out of its centroid"}));
    EXPECT_EQ(CentroidAssignment::computeCentroidsFromClusters(embeddings, {0, 0, 1}).centroids,
              (Features{{1, 0}, {3, 4}}));
    EXPECT_EQ(CentroidAssignment::computeFallbackCentroids(embeddings), (Features{{2, 2}}));
    EXPECT_TRUE(CentroidAssignment::computeFallbackCentroids({}).empty());
}

TEST(CentroidAssignmentTests, NormalizeScalesToUnitLengthAndKeepsZeros) {
    EXPECT_EQ(CentroidAssignment::normalize({}), std::vector<double>{});
    EXPECT_EQ(CentroidAssignment::normalize({0, 0}), (std::vector<double>{0, 0}));
    EXPECT_EQ(CentroidAssignment::normalize({0, -2}), (std::vector<double>{0, -1}));
    const auto withNan = CentroidAssignment::normalize({1, nan});
    EXPECT_TRUE(std::isnan(withNan[0]) && std::isnan(withNan[1]));
    const auto withInfinity = CentroidAssignment::normalize({1, infinity});
    EXPECT_EQ(withInfinity[0], 0.0);
    EXPECT_TRUE(std::isnan(withInfinity[1]));
}

TEST(CentroidAssignmentTests, EveryEmbeddingGoesToItsMostCosineSimilarCentroid) {
    const struct {
        std::string name;
        Features embeddings;
        Features centroids;
        Labels expected;
    } cases[] = {
        {"no embedding", {}, {{1, 0}}, {}},
        {"no centroid", {{1, 0}, {0, 1}}, {}, {0, 0}},
        {"nearest by angle, not distance", {{10, 1}, {0.1, 1}}, {{1, 0}, {0, 5}}, {0, 1}},
        {"a zero centroid scores 0", {{-1, 0}, {1, 0}}, {{1, 0.01}, {0, 0}}, {1, 0}},
        {"equal centroids: the lower wins", {{1, 1}}, {{0, 1}, {2, 2}, {1, 1}}, {1}},
        {"a NaN embedding gets 0", {{nan, 1}}, {{0, 1}, {1, 0}}, {0}},
        {"another length scores 0", {{1, 0, 0}}, {{-1, 0}, {0, 0, -1}}, {0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CentroidAssignment::assignEmbeddings(c.embeddings, c.centroids), c.expected) << c.name;
    }
}

TEST(CentroidAssignmentTests, ChunkSlotsHoldTheAssignmentsOfTheirEmbeddings) {
    SegmentationOutput segmentation;
    segmentation.numChunks = 2;
    segmentation.numSpeakers = 3;
    const std::vector<TimedEmbedding> embeddings{
        timed(0, 0, {1}), timed(0, 1, {1}),  timed(1, 2, {1}), timed(1, 2, {1}), timed(2, 0, {1}),
        timed(0, 3, {1}), timed(-1, 0, {1}), timed(1, 0, {1}), timed(1, 1, {1}), timed(0, 2, {nanFloat, 1}),
    };
    // Embedding 3 overwrites embedding 2; 4 to 6 are outside the grid; 7 and 8 carry assignments outside
    // 0 … 2; the NaN embedding 9 casts no vote; the last assignment has no embedding.
    const Labels assignments{2, 1, 0, 1, 0, 0, 0, 3, -1, 0, 2};
    EXPECT_EQ(CentroidAssignment::buildChunkAssignments(segmentation, embeddings, assignments, 3),
              (std::vector<Labels>{{2, 1, -2}, {-2, -2, 1}}));
}

TEST(CentroidAssignmentTests, PublicChunkEmbeddingsNameSpeakersFromOne) {
    std::vector<TimedEmbedding> embeddings{timed(4, 1, {0.5f}), timed(5, 2, {nanFloat})};
    embeddings[0].startTime = 1.5;
    embeddings[0].endTime = 2.25;
    embeddings[0].rho128 = {7.0};
    const AppLogger logger("OfflineDiarizer");
    const auto records = CentroidAssignment::buildPublicChunkEmbeddings(embeddings, {0, 2}, logger);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (ChunkEmbedding{.speakerId = "S1",
                                          .chunkIndex = 4,
                                          .speakerIndex = 1,
                                          .startTimeSeconds = 1.5,
                                          .endTimeSeconds = 2.25,
                                          .embedding256 = {0.5f},
                                          .rho128 = {7.0}}));
    EXPECT_EQ(records[1].speakerId, "S3");

    testsupport::RecordingLogSink sink;
    EXPECT_TRUE(CentroidAssignment::buildPublicChunkEmbeddings(embeddings, {0}, logger).empty());
    EXPECT_EQ(sink.messages("OfflineDiarizer"),
              std::vector<std::string>{"buildPublicChunkEmbeddings: timedEmbeddings.count (2) != assignments.count "
                                       "(1); chunkEmbeddings will be empty"});
}

} // namespace
} // namespace quorl
