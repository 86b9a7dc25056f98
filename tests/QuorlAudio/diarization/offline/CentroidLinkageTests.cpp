#include "QuorlAudio/diarization/offline/CentroidLinkage.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace quorl {
namespace {

struct Row {
    double first;
    double second;
    double height;
    double size;
};

std::vector<Row> link(const std::vector<double>& data, std::size_t n, std::size_t dim) {
    std::vector<double> out(4 * (n - 1), -1.0);
    EXPECT_EQ(fastcluster_compute_centroid_linkage(data.data(), n, dim, out.data(), out.size()), 0u);
    std::vector<Row> rows;
    for (std::size_t k = 0; k + 1 < n; ++k) {
        rows.push_back({out[4 * k], out[4 * k + 1], out[4 * k + 2], out[4 * k + 3]});
    }
    return rows;
}

// Centroid linkage the slow way: every step merges the closest pair of active clusters, found by comparing
// all pairs. Without ties this is the dendrogram the fast routine must build.
std::vector<Row> bruteForceLinkage(const std::vector<double>& data, std::size_t n, std::size_t dim) {
    std::vector<std::vector<double>> centroids;
    std::vector<double> sizes(n, 1.0);
    std::vector<bool> active(n, true);
    for (std::size_t i = 0; i < n; ++i) {
        centroids.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(i * dim),
                               data.begin() + static_cast<std::ptrdiff_t>((i + 1) * dim));
    }
    std::vector<Row> rows;
    for (std::size_t step = 0; step + 1 < n; ++step) {
        double best = std::numeric_limits<double>::infinity();
        std::size_t a = 0;
        std::size_t b = 0;
        for (std::size_t i = 0; i < centroids.size(); ++i) {
            for (std::size_t j = i + 1; j < centroids.size() && active[i]; ++j) {
                double squared = 0;
                for (std::size_t k = 0; k < dim; ++k) {
                    squared += (centroids[i][k] - centroids[j][k]) * (centroids[i][k] - centroids[j][k]);
                }
                if (active[j] && squared < best) {
                    best = squared;
                    a = i;
                    b = j;
                }
            }
        }
        std::vector<double> merged(dim);
        for (std::size_t k = 0; k < dim; ++k) {
            merged[k] = (centroids[a][k] * sizes[a] + centroids[b][k] * sizes[b]) / (sizes[a] + sizes[b]);
        }
        rows.push_back({static_cast<double>(a), static_cast<double>(b), std::sqrt(best), sizes[a] + sizes[b]});
        active[a] = active[b] = false;
        active.push_back(true);
        sizes.push_back(sizes[a] + sizes[b]);
        centroids.push_back(merged);
    }
    return rows;
}

TEST(CentroidLinkageTests, MatchesABruteForceCentroidLinkageWithoutTies) {
    for (const std::size_t n : {2u, 3u, 7u, 24u}) {
        constexpr std::size_t dim = 5;
        std::vector<double> data(n * dim);
        for (std::size_t index = 0; index < data.size(); ++index) {
            data[index] =
                std::sin(0.37 * static_cast<double>(index * index + 1)) * (1.0 + static_cast<double>(index % 3));
        }
        const auto fast = link(data, n, dim);
        const auto slow = bruteForceLinkage(data, n, dim);
        ASSERT_EQ(fast.size(), slow.size());
        for (std::size_t k = 0; k < fast.size(); ++k) {
            EXPECT_EQ(fast[k].first, slow[k].first) << n << " row " << k;
            EXPECT_EQ(fast[k].second, slow[k].second) << n << " row " << k;
            EXPECT_NEAR(fast[k].height, slow[k].height, 1e-12) << n << " row " << k;
            EXPECT_EQ(fast[k].size, slow[k].size) << n << " row " << k;
        }
    }
}

TEST(CentroidLinkageTests, TwoPointsMakeOneRowAndTheRootNodeTwo) {
    const auto rows = link({0.0, 0.0, 3.0, 4.0}, 2, 2);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, 0.0);
    EXPECT_EQ(rows[0].second, 1.0);
    EXPECT_EQ(rows[0].height, 5.0);
    EXPECT_EQ(rows[0].size, 2.0);
}

TEST(CentroidLinkageTests, RepeatedPointsMergeByTheFixedTieRules) {
    // One-dimensional points: A = 0, B = 1.
    const struct {
        std::string name;
        std::vector<double> points;
        std::vector<Row> rows;
    } cases[] = {
        {"A A A: the lowest candidate and the first heap slot win", {0, 0, 0}, {{0, 1, 0, 2}, {2, 3, 0, 3}}},
        {"A B A B: the heap's first smaller child is taken", {0, 1, 0, 1}, {{0, 2, 0, 2}, {1, 3, 0, 2}, {4, 5, 1, 4}}},
        {"B A A: the duplicate pair first, then the old start", {1, 0, 0}, {{1, 2, 0, 2}, {0, 3, 1, 3}}},
    };
    for (const auto& c : cases) {
        const auto rows = link(c.points, c.points.size(), 1);
        ASSERT_EQ(rows.size(), c.rows.size()) << c.name;
        for (std::size_t k = 0; k < rows.size(); ++k) {
            EXPECT_EQ(rows[k].first, c.rows[k].first) << c.name << " row " << k;
            EXPECT_EQ(rows[k].second, c.rows[k].second) << c.name << " row " << k;
            EXPECT_EQ(rows[k].height, c.rows[k].height) << c.name << " row " << k;
            EXPECT_EQ(rows[k].size, c.rows[k].size) << c.name << " row " << k;
        }
    }
}

TEST(CentroidLinkageTests, ReportsFailuresAsStatusCodesInTheirOrderAndWritesNothing) {
    const std::vector<double> data{0.0, 1.0, 2.0, std::nan(""), 4.0, 5.0};
    constexpr std::size_t huge = std::size_t{1} << 31;
    const struct {
        std::string name;
        const double* data;
        std::size_t n;
        std::size_t dim;
        bool withOut;
        std::size_t outLength;
        std::uint32_t status;
    } cases[] = {
        {"missing data before everything", nullptr, 0, 0, false, 0, 1},
        {"missing out", data.data(), 0, 1, false, 0, 1},
        {"no point", data.data(), 0, 0, true, 0, 0},
        {"no dimension", data.data(), 2, 0, true, 4, 1},
        {"too many points", data.data(), huge, 1, true, 0, 2},
        {"too many dimensions", data.data(), 2, huge, true, 0, 2},
        {"output too short", data.data(), 3, 1, true, 7, 3},
        {"one point", data.data(), 1, 1, true, 0, 0},
        {"a distance that is not a number", data.data(), 3, 2, true, 8, 5},
    };
    for (const auto& c : cases) {
        std::vector<double> out(8, -7.0);
        const auto status =
            fastcluster_compute_centroid_linkage(c.data, c.n, c.dim, c.withOut ? out.data() : nullptr, c.outLength);
        EXPECT_EQ(status, c.status) << c.name;
        EXPECT_EQ(out, std::vector<double>(8, -7.0)) << c.name;
    }
}

} // namespace
} // namespace quorl
