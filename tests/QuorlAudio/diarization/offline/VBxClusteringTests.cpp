#include "QuorlAudio/diarization/offline/VBxClustering.hpp"

#include "QuorlAudio/diarization/offline/PLDATransform.hpp"
#include "tests/support/FixtureBlock.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::sys::LogType;
using Labels = std::vector<std::int64_t>;
using Rows = std::vector<std::vector<double>>;

OfflineDiarizerConfig configWith(std::int64_t maxIterations, double tolerance, double Fa, double Fb) {
    auto config = OfflineDiarizerConfig::defaultConfig();
    config.vbx = {.maxIterations = maxIterations, .convergenceTolerance = tolerance};
    config.clustering.warmStartFa = Fa;
    config.clustering.warmStartFb = Fb;
    return config;
}

VBxClustering vbx(const OfflineDiarizerConfig& config, std::vector<double> psi) {
    return VBxClustering(config, PLDATransform(nullptr, std::move(psi)));
}

Rows rows(std::size_t count, std::size_t dimension, double seed) {
    Rows result(count, std::vector<double>(dimension));
    for (std::size_t t = 0; t < count; ++t) {
        for (std::size_t d = 0; d < dimension; ++d) {
            result[t][d] = 2.0 * std::sin(seed * static_cast<double>(t * dimension + d + 1));
        }
    }
    return result;
}

void expectRowsNear(const Rows& actual, const testsupport::FixtureBlock& expected, double tolerance) {
    ASSERT_EQ(actual.size(), expected.rows);
    for (std::size_t row = 0; row < expected.rows; ++row) {
        ASSERT_EQ(actual[row].size(), expected.columns);
        for (std::size_t column = 0; column < expected.columns; ++column) {
            const double value = expected.values[row * expected.columns + column];
            EXPECT_NEAR(actual[row][column], value, tolerance * std::max(1.0, std::abs(value))) << row << "," << column;
        }
    }
}

TEST(VBxClusteringTests, FiveIterationsMatchTheIndependentReference) {
    std::ifstream file(std::string(QUORL_DIARIZATION_OFFLINE_FIXTURES) + "/vbxReference.txt");
    ASSERT_TRUE(file);
    const auto features = rows(6, 4, 1.3);
    expectRowsNear(features, testsupport::readFixtureBlock(file, "rho"), 1e-6);
    const auto output = vbx(configWith(5, 0.0, 0.3, 0.8), {2.0, 0.5, 1e-13, 3.0}).refine(features, {0, 0, 1, 1, 0, 1});
    expectRowsNear(output.gamma, testsupport::readFixtureBlock(file, "gamma"), 1e-6);
    expectRowsNear({output.pi}, testsupport::readFixtureBlock(file, "pi"), 1e-6);
    expectRowsNear({output.elbos}, testsupport::readFixtureBlock(file, "elbos"), 1e-6);
    EXPECT_EQ(output.numClusters, 2);
    EXPECT_EQ(output.hardClusters, (std::vector<Labels>{{0, 0, 1, 1, 1, 0}}));
}

TEST(VBxClusteringTests, OneRowConvergesOnTheSecondIteration) {
    const auto output =
        vbx(OfflineDiarizerConfig::defaultConfig(), std::vector<double>(128, 1.5)).refine(rows(1, 128, 0.7), {0});
    EXPECT_EQ(output.gamma, (Rows{{1.0}}));
    EXPECT_EQ(output.pi, std::vector<double>{1.0});
    EXPECT_EQ(output.hardClusters, (std::vector<Labels>{{0}}));
    EXPECT_EQ(output.numClusters, 1);
    EXPECT_EQ(output.elbos.size(), 2u);
    EXPECT_FALSE(output.wasAdjusted);
    EXPECT_FALSE(output.originalClusterCount);
}

TEST(VBxClusteringTests, LabelsAreClampedIntoTheColumnsOfTheDistinctCount) {
    testsupport::RecordingLogSink sink;
    const auto output =
        vbx(configWith(0, 1e-4, 0.07, 0.8), std::vector<double>(3, 1.0)).refine(rows(3, 3, 0.4), {0, 0, 2});
    const double e7 = std::exp(7.0);
    EXPECT_EQ(output.numClusters, 2);
    ASSERT_EQ(output.gamma.size(), 3u);
    EXPECT_NEAR(output.gamma[2][1], e7 / (e7 + 1), 1e-15);
    EXPECT_NEAR(output.gamma[2][0], 1 / (e7 + 1), 1e-15);
    EXPECT_NEAR(output.gamma[0][0], e7 / (e7 + 1), 1e-15);
    EXPECT_EQ(output.pi, (std::vector<double>{0.5, 0.5}));
    EXPECT_TRUE(output.elbos.empty());
    EXPECT_EQ(output.hardClusters, (std::vector<Labels>{{0, 0, 1}}));
    EXPECT_EQ(sink.messages("OfflineVBx", LogType::debug),
              (std::vector<std::string>{"VBx warm start clusters: 2 histogram: [0: 2, 2: 1]",
                                        "VBx mixture weights \u2013 min: 0.5, max: 0.5, count: 2"}));
}

TEST(VBxClusteringTests, IterationCountsAndTies) {
    const auto features = rows(5, 4, 0.9);
    const auto one = vbx(configWith(1, 1e9, 0.07, 0.8), std::vector<double>(4, 1.0)).refine(features, {0, 1, 0, 1, 1});
    EXPECT_EQ(one.elbos.size(), 1u) << "convergence is never tested after the first iteration";

    // Two identical rows starting in different clusters stay symmetric: the tie goes to the lower speaker.
    const Rows twins{{1.0, -2.0}, {1.0, -2.0}};
    const auto tied = vbx(configWith(3, 0.0, 0.5, 0.8), {1.0, 1.0}).refine(twins, {0, 1});
    EXPECT_EQ(tied.gamma[0][0], tied.gamma[0][1]);
    EXPECT_EQ(tied.hardClusters, (std::vector<Labels>{{0, 0}}));
}

TEST(VBxClusteringTests, APsiOfAnotherLengthFallsBackToUnitVariances) {
    const auto features = rows(4, 128, 0.3);
    const Labels labels{0, 1, 0, 1};
    testsupport::RecordingLogSink sink;
    const auto fallback =
        vbx(OfflineDiarizerConfig::defaultConfig(), std::vector<double>(64, 5.0)).refine(features, labels);
    EXPECT_EQ(
        sink.messages("OfflineVBx", LogType::error),
        std::vector<std::string>{"PLDA psi dimension (64) mismatches rho dimension (128); falling back to identity"});
    const auto unit =
        vbx(OfflineDiarizerConfig::defaultConfig(), std::vector<double>(128, 1.0)).refine(features, labels);
    EXPECT_EQ(fallback, unit);
}

TEST(VBxClusteringTests, NoRowsOrEmptyRowsGiveTheEmptyOutput) {
    testsupport::RecordingLogSink sink;
    const auto clustering = vbx(OfflineDiarizerConfig::defaultConfig(), {});
    EXPECT_EQ(clustering.refine({}, {0}), VBxOutput{});
    EXPECT_TRUE(sink.messages("OfflineVBx").empty());
    EXPECT_EQ(clustering.refine({{}, {}}, {0, 1}), VBxOutput{});
    EXPECT_EQ(sink.messages("OfflineVBx"), std::vector<std::string>{"VBx received empty feature vectors"});
}

TEST(VBxClusteringTests, ShortRowsAndSurplusLabelsAreLeftOutWithAWarning) {
    auto features = rows(4, 3, 0.5);
    features[2].resize(1);
    testsupport::RecordingLogSink sink;
    const auto clustering = vbx(configWith(4, 0.0, 0.3, 0.8), std::vector<double>(3, 1.0));
    const auto output = clustering.refine(features, {0, 1, 1, 0, 1, 1});
    EXPECT_EQ(sink.messages("OfflineVBx", LogType::error),
              (std::vector<std::string>{
                  "VBx received 6 initial clusters for 4 rows; ignoring the surplus",
                  "VBx rho row 2 holds 1 values, fewer than 3; keeping its warm-start responsibilities"}));
    EXPECT_EQ(output.gamma[2], (std::vector<double>{0.0, 1.0}));
    EXPECT_EQ(output.hardClusters[0][2], 1);
    // The other rows are refined as if the short one were absent.
    const auto without = clustering.refine({features[0], features[1], features[3]}, {0, 1, 0});
    EXPECT_EQ(output.gamma[3], without.gamma[2]);
    EXPECT_EQ(output.pi, without.pi);
}

// Three separated groups of PLDA features, each its own warm-start cluster, and embeddings in two directions.
struct ThreeSpeakers {
    Rows rho{{5, 0, 0}, {5.2, 0, 0}, {0, 5, 0}, {0, 5.1, 0}, {0, 0, 5}, {0, 0, 4.9}};
    Rows embeddings{{1, 0.1}, {1, 0}, {0.1, 1}, {0, 1}, {0.1, 1.1}, {0, 2}};
    Labels labels{0, 0, 1, 1, 2, 2};
};

TEST(VBxClusteringTests, ACountOutsideTheBoundsIsReclusteredKeepingTheVBxPosteriors) {
    const ThreeSpeakers data;
    const auto clustering = vbx(configWith(10, 1e-4, 0.3, 0.8), std::vector<double>(3, 1.0));
    const auto plain = clustering.refine(data.rho, data.labels);
    ASSERT_EQ(std::ranges::count_if(plain.pi, [](double p) { return p > 1e-7; }), 3);

    testsupport::RecordingLogSink sink;
    const auto adjusted =
        clustering.refineWithConstraints(data.rho, data.embeddings, data.labels,
                                         SpeakerCountConstraints{.numSpeakers = 2, .minSpeakers = 2, .maxSpeakers = 2});
    EXPECT_EQ(sink.messages("OfflineVBx", LogType::info),
              std::vector<std::string>{"Speaker count 3 outside bounds [2, 2]; re-clustering to 2"});
    EXPECT_TRUE(adjusted.wasAdjusted);
    EXPECT_EQ(adjusted.originalClusterCount, 3);
    EXPECT_EQ(adjusted.numClusters, 2);
    EXPECT_EQ(adjusted.centroids.size(), 2u);
    const auto& labels = adjusted.hardClusters.at(0);
    EXPECT_EQ(std::set<std::int64_t>(labels.begin(), labels.end()).size(), 2u);
    EXPECT_EQ(labels[0], labels[1]);
    EXPECT_NE(labels[0], labels[2]);
    EXPECT_EQ(adjusted.gamma, plain.gamma);
    EXPECT_EQ(adjusted.pi, plain.pi);
    EXPECT_EQ(adjusted.elbos, plain.elbos);

    const auto within = clustering.refineWithConstraints(data.rho, data.embeddings, data.labels,
                                                         SpeakerCountConstraints{.minSpeakers = 1, .maxSpeakers = 3});
    EXPECT_EQ(within, plain);
    EXPECT_EQ(clustering.refineWithConstraints(data.rho, data.embeddings, data.labels, std::nullopt), plain);
}

TEST(VBxClusteringTests, TheBoundsAreCheckedAgainstTheSpeakersThatKeepWeight) {
    // Six equal rows: the one-row warm-start cluster loses its weight, leaving one speaker of two labels.
    const Rows rho(6, std::vector<double>{10, -10, 10});
    const Rows embeddings{{1, 0}, {1, 0.1}, {1, 0.2}, {0, 1}, {0.1, 1}, {0.2, 1}};
    const Labels labels{0, 0, 0, 0, 0, 1};
    const auto clustering = vbx(OfflineDiarizerConfig::defaultConfig(), std::vector<double>(3, 1.0));
    const auto plain = clustering.refine(rho, labels);
    ASSERT_EQ(plain.numClusters, 2);
    ASSERT_LE(plain.pi[1], 1e-7);

    const auto one = clustering.refineWithConstraints(
        rho, embeddings, labels, SpeakerCountConstraints{.numSpeakers = 1, .minSpeakers = 1, .maxSpeakers = 1});
    EXPECT_EQ(one, plain);

    const auto two = clustering.refineWithConstraints(
        rho, embeddings, labels, SpeakerCountConstraints{.numSpeakers = 2, .minSpeakers = 2, .maxSpeakers = 2});
    EXPECT_TRUE(two.wasAdjusted);
    EXPECT_EQ(two.originalClusterCount, 1);
    EXPECT_EQ(two.numClusters, 2);
    EXPECT_EQ(two.hardClusters, (std::vector<Labels>{{0, 0, 0, 1, 1, 1}}));
}

} // namespace
} // namespace quorl
