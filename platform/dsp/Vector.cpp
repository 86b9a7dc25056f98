#include "platform/dsp/Vector.hpp"

#include "platform/dsp/Blas.hpp"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace platform::dsp {
namespace {

// Reductions keep this many independent partial sums so the compiler can vectorise them without
// reassociating floating-point arithmetic; the partial sums are combined in a fixed order, so a result
// does not depend on the machine.
constexpr std::size_t lanes = 8;

template <class Term> float reduce(std::size_t count, Term term) {
    std::array<float, lanes> partial{};
    std::size_t index = 0;
    for (; index + lanes <= count; index += lanes) {
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            partial[lane] += term(index + lane);
        }
    }
    for (std::size_t lane = 0; index < count; ++index, ++lane) {
        partial[lane] += term(index);
    }
    float total = 0.0f;
    for (const float value : partial) {
        total += value;
    }
    return total;
}

// BLAS takes int dimensions.
int blasSize(std::size_t size) { return static_cast<int>(size); }

} // namespace

void copy(const float* source, float* destination, std::size_t count) {
    if (count > 0) {
        std::memmove(destination, source, count * sizeof(float));
    }
}

void copy(const float* source, std::size_t sourceStride, float* destination, std::size_t destinationStride,
          std::size_t count) {
    if (sourceStride == 1 && destinationStride == 1) {
        copy(source, destination, count);
        return;
    }
    for (std::size_t index = 0; index < count; ++index) {
        destination[index * destinationStride] = source[index * sourceStride];
    }
}

void matrixMove(const float* source, std::size_t sourceRowStride, float* destination, std::size_t destinationRowStride,
                std::size_t rows, std::size_t columns) {
    for (std::size_t row = 0; row < rows; ++row) {
        copy(source + row * sourceRowStride, destination + row * destinationRowStride, columns);
    }
}

void clear(float* destination, std::size_t count) { fill(destination, 0.0f, count); }

void fill(float* destination, float value, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        destination[index] = value;
    }
}

void addScaled(const float* source, float scale, float* accumulator, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        accumulator[index] += scale * source[index];
    }
}

void multiply(const float* a, const float* b, float* destination, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        destination[index] = a[index] * b[index];
    }
}

void multiplyScalar(const float* source, float scalar, float* destination, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        destination[index] = source[index] * scalar;
    }
}

float dot(const float* a, const float* b, std::size_t count) {
    return reduce(count, [a, b](std::size_t index) { return a[index] * b[index]; });
}

float sum(const float* source, std::size_t count) {
    return reduce(count, [source](std::size_t index) { return source[index]; });
}

float rms(const float* source, std::size_t count) {
    if (count == 0) {
        return 0.0f;
    }
    return std::sqrt(dot(source, source, count) / static_cast<float>(count));
}

MaxWithIndex maxWithIndex(const float* source, std::size_t count) {
    MaxWithIndex best{.value = -std::numeric_limits<float>::infinity(), .index = 0};
    for (std::size_t index = 0; index < count; ++index) {
        // Strictly greater: an equal later value never displaces the first, and NaN compares false.
        if (source[index] > best.value) {
            best = {.value = source[index], .index = index};
        }
    }
    return best;
}

void matrixVectorProduct(const float* matrix, std::size_t rows, std::size_t columns, const float* vector,
                         float* destination) {
    if (rows == 0) {
        return;
    }
    if (columns == 0) {
        clear(destination, rows);
        return;
    }
    Blas::shared().sgemv(CblasRowMajor, CblasNoTrans, blasSize(rows), blasSize(columns), 1.0f, matrix,
                         blasSize(columns), vector, 1, 0.0f, destination, 1);
}

void matrixProduct(const float* a, const float* b, float* c, std::size_t m, std::size_t n, std::size_t k) {
    if (m == 0 || n == 0) {
        return;
    }
    if (k == 0) {
        clear(c, m * n);
        return;
    }
    Blas::shared().sgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, blasSize(m), blasSize(n), blasSize(k), 1.0f, a,
                         blasSize(k), b, blasSize(n), 0.0f, c, blasSize(n));
}

} // namespace platform::dsp
