#include "QuorlAudio/diarization/offline/SquaredDistances.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quorl {
namespace {

TEST(SquaredDistancesTests, EqualASerialFusedSumBitForBitInBlocksAndRemainders) {
    constexpr std::size_t dimension = 37;
    std::vector<std::vector<double>> rows(19, std::vector<double>(dimension));
    for (std::size_t row = 0; row < rows.size(); ++row) {
        for (std::size_t k = 0; k < dimension; ++k) {
            rows[row][k] = std::sin(0.1 * static_cast<double>(row * dimension + k) + 0.3) * 1e3 / (1.0 + k);
        }
    }
    const auto& from = rows.back();
    for (const std::size_t count : {0u, 1u, 7u, 8u, 9u, 18u}) {
        std::vector<const double*> to;
        for (std::size_t row = 0; row < count; ++row) {
            to.push_back(rows[row].data());
        }
        std::vector<double> distances(count + 1, -1.0);
        squaredDistances(from.data(), to, dimension, distances.data());
        for (std::size_t row = 0; row < count; ++row) {
            double expected = 0;
            for (std::size_t k = 0; k < dimension; ++k) {
                const double difference = from[k] - rows[row][k];
                expected = std::fma(difference, difference, expected);
            }
            EXPECT_EQ(distances[row], expected) << count << " rows, row " << row;
        }
        EXPECT_EQ(distances[count], -1.0) << count;
    }
}

} // namespace
} // namespace quorl
