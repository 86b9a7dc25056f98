#include "QuorlAudio/diarization/offline/AHCClustering.hpp"

#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Labels = std::vector<std::int64_t>;
using Rows = std::vector<std::vector<double>>;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

TEST(AHCClusteringTests, CutsTheTreeAtTheDistanceOfTheCosineThreshold) {
    const std::vector<double> a{2.0, 0.0, 0.0};
    const std::vector<double> aLonger{5.0, 0.0, 0.0};
    const std::vector<double> orthogonal{0.0, 3.0, 0.0};
    const std::vector<double> near{1.0, 0.1, 0.0};
    const std::vector<double> zero{0.0, 0.0, 0.0};
    const struct {
        std::string name;
        Rows rows;
        double threshold;
        Labels labels;
    } cases[] = {
        {"no embedding", {}, 0.6, {}},
        {"one embedding", {a}, 0.6, {0}},
        {"empty embeddings", {{}, {}, {}}, 0.6, {0, 0, 0}},
        {"duplicates and an orthogonal one", {a, aLonger, orthogonal}, 0.6, {0, 0, 1}},
        {"orthogonal one first", {orthogonal, a, aLonger}, 0.6, {0, 1, 1}},
        {"threshold 1 joins only exact duplicates", {a, near, aLonger}, 1.0, {0, 1, 0}},
        {"threshold -1 joins everything", {a, orthogonal, zero}, -1.0, {0, 0, 0}},
        {"a threshold that is not a number joins everything", {a, orthogonal, near}, nan, {0, 0, 0}},
        {"a zero vector stays alone above the cut", {a, zero}, 0.6, {0, 1}},
        {"a zero vector joins at distance 1 under a low threshold", {a, zero}, 0.4, {0, 0}},
        {"a root at the cut gives one cluster", {a, near}, 0.9, {0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AHCClustering{}.cluster(c.rows, c.threshold), c.labels) << c.name;
    }
}

TEST(AHCClusteringTests, ClampsAThresholdOutsideTheCosineRange) {
    testsupport::RecordingLogSink sink;
    EXPECT_EQ(AHCClustering{}.cluster({{1.0, 0.0}, {1.0, 0.0}, {0.0, 1.0}}, 1.5), (Labels{0, 0, 1}));
    EXPECT_EQ(sink.messages("OfflineAHC"),
              std::vector<std::string>{"Clustering threshold 1.5 outside cosine range; clamping to [-1, 1]"});
}

TEST(AHCClusteringTests, AFailedLinkageGivesOneSpeakerPerEmbedding) {
    testsupport::RecordingLogSink sink;
    // An infinite value normalises to a not-a-number coordinate, which the linkage refuses.
    EXPECT_EQ(AHCClustering{}.cluster({{1.0, 0.0}, {infinity, 1.0}, {1.0, 0.0}}, 0.6), (Labels{0, 1, 2}));
    EXPECT_EQ(sink.messages("OfflineAHC"), std::vector<std::string>{"fastcluster failed with status 5"});
}

TEST(AHCClusteringTests, AShortRowIsClusteredAsAZeroVectorWithAWarning) {
    testsupport::RecordingLogSink sink;
    EXPECT_EQ(AHCClustering{}.cluster({{1.0, 0.0}, {1.0}, {2.0, 0.0}}, 0.6), (Labels{0, 1, 0}));
    EXPECT_EQ(sink.messages("OfflineAHC"),
              std::vector<std::string>{"Embedding 1 holds 1 values, fewer than 2; clustering it as a zero vector"});
}

} // namespace
} // namespace quorl
