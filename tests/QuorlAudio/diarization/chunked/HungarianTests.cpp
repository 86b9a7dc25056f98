#include "QuorlAudio/diarization/chunked/Hungarian.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>

namespace quorl {
namespace {

std::int64_t totalCost(const std::vector<std::int64_t>& cost, const std::vector<int>& columns) {
    std::int64_t total = 0;
    for (std::size_t row = 0; row < columns.size(); ++row) {
        total += cost[row * columns.size() + static_cast<std::size_t>(columns[row])];
    }
    return total;
}

std::int64_t bruteForceMinimum(const std::vector<std::int64_t>& cost, int n) {
    std::vector<int> columns(static_cast<std::size_t>(n));
    std::iota(columns.begin(), columns.end(), 0);
    auto best = std::numeric_limits<std::int64_t>::max();
    do {
        best = std::min(best, totalCost(cost, columns));
    } while (std::next_permutation(columns.begin(), columns.end()));
    return best;
}

TEST(HungarianTests, EmptyMatrixHasNoAssignment) { EXPECT_TRUE(Hungarian::solve({}, 0).empty()); }

TEST(HungarianTests, FindsAMinimumCostPermutation) {
    const std::vector<std::pair<std::vector<std::int64_t>, int>> cases{
        {{7}, 1},
        {{4, 1, 3, 2, 0, 5, 3, 2, 2}, 3},
        {{9, 2, 7, 8, 6, 4, 3, 7, 5, 8, 1, 8, 7, 6, 9, 4}, 4},
        {{5, 5, 5, 5, 5, 5, 5, 5, 5}, 3},
        {{0, 10, 10, 0, 10, 0, 10, 10, 10, 0, 0, 10, 3, 3, 3, 3, 3, 3, 10, 3, 1, 2, 3, 4, 5}, 5},
    };
    for (const auto& [cost, n] : cases) {
        const auto columns = Hungarian::solve(cost, n);
        ASSERT_EQ(columns.size(), static_cast<std::size_t>(n));
        auto sorted = columns;
        std::sort(sorted.begin(), sorted.end());
        std::vector<int> identity(static_cast<std::size_t>(n));
        std::iota(identity.begin(), identity.end(), 0);
        EXPECT_EQ(sorted, identity) << "not a permutation for n = " << n;
        EXPECT_EQ(totalCost(cost, columns), bruteForceMinimum(cost, n)) << "n = " << n;
    }
}

} // namespace
} // namespace quorl
