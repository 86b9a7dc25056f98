#include "platform/dsp/Vector.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace platform::dsp {
namespace {

constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float infinity = std::numeric_limits<float>::infinity();

// Values with mixed signs and magnitudes, of a length that leaves a remainder after any vector width.
std::vector<float> sample(std::size_t count, float seed) {
    std::vector<float> values(count);
    for (std::size_t index = 0; index < count; ++index) {
        values[index] = std::sin(seed * static_cast<float>(index + 1)) * static_cast<float>(1 + index % 5);
    }
    return values;
}

TEST(VectorTests, ElementwiseOperationsMatchANaiveLoop) {
    constexpr std::size_t count = 19;
    const auto a = sample(count, 0.7f);
    const auto b = sample(count, 1.3f);
    const struct {
        std::string name;
        std::function<void(float*)> operation;
        std::function<float(std::size_t)> expected;
    } cases[] = {
        {"copy", [&](float* out) { copy(a.data(), out, count); }, [&](std::size_t i) { return a[i]; }},
        {"clear", [&](float* out) { clear(out, count); }, [](std::size_t) { return 0.0f; }},
        {"fill", [&](float* out) { fill(out, -2.5f, count); }, [](std::size_t) { return -2.5f; }},
        {"multiply", [&](float* out) { multiply(a.data(), b.data(), out, count); },
         [&](std::size_t i) { return a[i] * b[i]; }},
        {"multiplyScalar", [&](float* out) { multiplyScalar(a.data(), 3.0f, out, count); },
         [&](std::size_t i) { return a[i] * 3.0f; }},
        {"addScaled", [&](float* out) { addScaled(a.data(), 0.5f, out, count); },
         [&](std::size_t i) { return b[i] + 0.5f * a[i]; }},
    };
    for (const auto& c : cases) {
        // One element past the end guards against writing beyond the count.
        auto out = b;
        out.push_back(42.0f);
        c.operation(out.data());
        for (std::size_t index = 0; index < count; ++index) {
            EXPECT_EQ(out[index], c.expected(index)) << c.name << " at " << index;
        }
        EXPECT_EQ(out[count], 42.0f) << c.name;
    }
}

TEST(VectorTests, MatrixMoveCopiesRowsBetweenStrides) {
    const auto source = sample(4 * 7, 0.3f);
    std::vector<float> destination(3 * 5, -1.0f);
    matrixMove(source.data() + 1, 7, destination.data(), 5, 3, 4);
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t column = 0; column < 5; ++column) {
            const float expected = column < 4 ? source[row * 7 + 1 + column] : -1.0f;
            EXPECT_EQ(destination[row * 5 + column], expected) << row << "," << column;
        }
    }
}

TEST(VectorTests, StridedCopyGathersAndScattersWithoutTouchingTheGaps) {
    const auto source = sample(3 * 6, 0.7f);
    std::vector<float> destination(6 * 16, -1.0f);
    copy(source.data() + 2, 3, destination.data(), 16, 6);
    for (std::size_t index = 0; index < destination.size(); ++index) {
        const float expected = index % 16 == 0 ? source[2 + (index / 16) * 3] : -1.0f;
        EXPECT_EQ(destination[index], expected) << index;
    }
}

TEST(VectorTests, TransposeMovesEveryElementWithoutTouchingTheGaps) {
    // Sizes below, at and past the four-by-four tiles, with padded rows on both sides.
    for (const auto& [rows, columns] : {std::pair<std::size_t, std::size_t>{1, 1}, {4, 4}, {9, 6}, {3, 8}}) {
        const std::size_t sourceRowStride = columns + 3;
        const std::size_t destinationRowStride = rows + 2;
        const auto source = sample(rows * sourceRowStride, 0.9f);
        std::vector<float> destination(columns * destinationRowStride, -1.0f);
        transpose(source.data(), sourceRowStride, destination.data(), destinationRowStride, rows, columns);
        for (std::size_t index = 0; index < destination.size(); ++index) {
            const std::size_t row = index % destinationRowStride;
            const std::size_t column = index / destinationRowStride;
            const float expected = row < rows ? source[row * sourceRowStride + column] : -1.0f;
            EXPECT_EQ(destination[index], expected) << rows << "x" << columns << " at " << index;
        }
    }
}

TEST(VectorTests, ReductionsMatchADoublePrecisionSum) {
    for (const std::size_t count : {0u, 1u, 7u, 8u, 9u, 33u, 1001u}) {
        const auto a = sample(count, 0.9f);
        const auto b = sample(count, 2.1f);
        double expectedSum = 0;
        double expectedDot = 0;
        double expectedSquares = 0;
        for (std::size_t index = 0; index < count; ++index) {
            expectedSum += a[index];
            expectedDot += static_cast<double>(a[index]) * b[index];
            expectedSquares += static_cast<double>(a[index]) * a[index];
        }
        const double expectedRms = count == 0 ? 0.0 : std::sqrt(expectedSquares / static_cast<double>(count));
        const double tolerance = 1e-5 * static_cast<double>(count + 1);
        EXPECT_NEAR(sum(a.data(), count), expectedSum, tolerance) << count;
        EXPECT_NEAR(dot(a.data(), b.data(), count), expectedDot, tolerance) << count;
        EXPECT_NEAR(rms(a.data(), count), expectedRms, 1e-5) << count;
    }
}

TEST(VectorTests, MaxWithIndexPrefersTheLowestIndexAndIgnoresNaN) {
    const struct {
        std::string name;
        std::vector<float> values;
        float value;
        std::size_t index;
    } cases[] = {
        {"empty", {}, -infinity, 0},
        {"single", {-3.0f}, -3.0f, 0},
        {"plain", {1.0f, 5.0f, 2.0f, 4.0f}, 5.0f, 1},
        {"tie keeps the first", {1.0f, 7.0f, 3.0f, 7.0f, 7.0f}, 7.0f, 1},
        {"leading NaN", {nan, 2.0f, 1.0f}, 2.0f, 1},
        {"NaN between", {1.0f, nan, 3.0f, nan}, 3.0f, 2},
        {"only NaN", {nan, nan}, -infinity, 0},
        {"only negative infinity", {-infinity, -infinity}, -infinity, 0},
        {"infinity wins", {3.0f, infinity, infinity}, infinity, 1},
        {"max in the tail after a full vector", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.5f}, 0.5f, 16},
    };
    for (const auto& c : cases) {
        const auto result = maxWithIndex(c.values.data(), c.values.size());
        EXPECT_EQ(result.value, c.value) << c.name;
        EXPECT_EQ(result.index, c.index) << c.name;
    }
}

std::vector<float> naiveProduct(const std::vector<float>& a, const std::vector<float>& b, std::size_t m, std::size_t n,
                                std::size_t k) {
    std::vector<float> c(m * n);
    for (std::size_t row = 0; row < m; ++row) {
        for (std::size_t column = 0; column < n; ++column) {
            double total = 0;
            for (std::size_t inner = 0; inner < k; ++inner) {
                total += static_cast<double>(a[row * k + inner]) * b[inner * n + column];
            }
            c[row * n + column] = static_cast<float>(total);
        }
    }
    return c;
}

TEST(VectorTests, ProductsMatchANaiveTripleLoop) {
    constexpr std::size_t m = 3;
    constexpr std::size_t n = 5;
    constexpr std::size_t k = 7;
    const auto a = sample(m * k, 0.4f);
    const auto b = sample(k * n, 1.1f);
    const auto expected = naiveProduct(a, b, m, n, k);

    std::vector<float> c(m * n, nan);
    matrixProduct(a.data(), b.data(), c.data(), m, n, k);
    for (std::size_t index = 0; index < c.size(); ++index) {
        EXPECT_NEAR(c[index], expected[index], 1e-5) << index;
    }

    // A vector is a matrix of one column.
    const auto vector = sample(k, 1.7f);
    const auto expectedVector = naiveProduct(a, vector, m, 1, k);
    std::vector<float> destination(m, nan);
    matrixVectorProduct(a.data(), m, k, vector.data(), destination.data());
    for (std::size_t index = 0; index < m; ++index) {
        EXPECT_NEAR(destination[index], expectedVector[index], 1e-5) << index;
    }
}

TEST(VectorTests, ProductsOverAnEmptyInnerDimensionAreZero) {
    std::vector<float> c(6, nan);
    matrixProduct(nullptr, nullptr, c.data(), 2, 3, 0);
    EXPECT_EQ(c, std::vector<float>(6, 0.0f));

    std::vector<float> destination(4, nan);
    matrixVectorProduct(nullptr, 4, 0, nullptr, destination.data());
    EXPECT_EQ(destination, std::vector<float>(4, 0.0f));
}

std::vector<double> sampleDouble(std::size_t count, double seed) {
    std::vector<double> values(count);
    for (std::size_t index = 0; index < count; ++index) {
        values[index] = std::sin(seed * static_cast<double>(index + 1)) * static_cast<double>(1 + index % 5);
    }
    return values;
}

// Element (row, column) of a row-major matrix with `columns` columns, optionally read transposed.
double at(const std::vector<double>& matrix, std::size_t columns, std::size_t row, std::size_t column,
          bool transposed) {
    return transposed ? matrix[column * columns + row] : matrix[row * columns + column];
}

TEST(VectorTests, DoublePrecisionOperationsMatchANaiveLoop) {
    constexpr std::size_t count = 19;
    const auto a = sampleDouble(count, 0.7);
    const auto b = sampleDouble(count, 1.3);
    auto scaled = b;
    addScaled(a.data(), 0.5, scaled.data(), count);
    std::vector<double> product(count);
    multiply(a.data(), b.data(), product.data(), count);
    std::vector<double> times(count);
    multiplyScalar(a.data(), -3.0, times.data(), count);
    double expectedDot = 0;
    double expectedSum = 0;
    for (std::size_t index = 0; index < count; ++index) {
        EXPECT_EQ(scaled[index], b[index] + 0.5 * a[index]) << index;
        EXPECT_EQ(product[index], a[index] * b[index]) << index;
        EXPECT_EQ(times[index], a[index] * -3.0) << index;
        expectedDot += a[index] * b[index];
        expectedSum += a[index];
    }
    EXPECT_NEAR(dot(a.data(), b.data(), count), expectedDot, 1e-12);
    EXPECT_NEAR(sum(a.data(), count), expectedSum, 1e-12);

    const std::vector<double> ties{1.0, std::nan(""), 7.0, 7.0};
    EXPECT_EQ(maxWithIndex(ties.data(), ties.size()).index, 2u);
    EXPECT_EQ(maxWithIndex(ties.data(), 2).value, 1.0);
    EXPECT_EQ(maxWithIndex(ties.data(), 0).value, -std::numeric_limits<double>::infinity());
}

TEST(VectorTests, DoublePrecisionProductsHonourTransposedOperands) {
    constexpr std::size_t m = 3;
    constexpr std::size_t n = 5;
    constexpr std::size_t k = 7;
    const auto a = sampleDouble(m * k, 0.4);
    const auto b = sampleDouble(k * n, 1.1);
    const struct {
        std::string name;
        void (*product)(const double*, const double*, double*, std::size_t, std::size_t, std::size_t);
        bool transposeA;
        bool transposeB;
    } cases[] = {
        {"plain", matrixProduct, false, false},
        {"first transposed", transposedMatrixProduct, true, false},
        {"second transposed", matrixTransposedProduct, false, true},
    };
    for (const auto& c : cases) {
        std::vector<double> result(m * n, std::nan(""));
        c.product(a.data(), b.data(), result.data(), m, n, k);
        for (std::size_t row = 0; row < m; ++row) {
            for (std::size_t column = 0; column < n; ++column) {
                double expected = 0;
                for (std::size_t inner = 0; inner < k; ++inner) {
                    expected += at(a, c.transposeA ? m : k, row, inner, c.transposeA) *
                                at(b, c.transposeB ? k : n, inner, column, c.transposeB);
                }
                EXPECT_NEAR(result[row * n + column], expected, 1e-12) << c.name << " " << row << "," << column;
            }
        }
        std::vector<double> empty(m * n, std::nan(""));
        c.product(nullptr, nullptr, empty.data(), m, n, 0);
        EXPECT_EQ(empty, std::vector<double>(m * n, 0.0)) << c.name;
    }

    // Column sums of a k x n matrix: its transpose times a vector of ones.
    const std::vector<double> ones(k, 1.0);
    std::vector<double> columnSums(n, std::nan(""));
    transposedMatrixVectorProduct(b.data(), k, n, ones.data(), columnSums.data());
    for (std::size_t column = 0; column < n; ++column) {
        double expected = 0;
        for (std::size_t row = 0; row < k; ++row) {
            expected += b[row * n + column];
        }
        EXPECT_NEAR(columnSums[column], expected, 1e-12) << column;
    }
    transposedMatrixVectorProduct(nullptr, 0, n, nullptr, columnSums.data());
    EXPECT_EQ(columnSums, std::vector<double>(n, 0.0));
}

} // namespace
} // namespace platform::dsp
