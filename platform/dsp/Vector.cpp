#include "platform/dsp/Vector.hpp"

#include "platform/dsp/Blas.hpp"

#include <algorithm>
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

// Four floats as one value; loads and stores go through memcpy, so no alignment is assumed.
using Float4 = float __attribute__((vector_size(16)));

Float4 load4(const float* source) {
    Float4 value;
    std::memcpy(&value, source, sizeof value);
    return value;
}

void store4(float* destination, Float4 value) { std::memcpy(destination, &value, sizeof value); }

void transposeTile(const float* source, std::size_t sourceRowStride, float* destination,
                   std::size_t destinationRowStride) {
    const Float4 row0 = load4(source);
    const Float4 row1 = load4(source + sourceRowStride);
    const Float4 row2 = load4(source + 2 * sourceRowStride);
    const Float4 row3 = load4(source + 3 * sourceRowStride);
    const Float4 low01 = __builtin_shufflevector(row0, row1, 0, 4, 1, 5);
    const Float4 high01 = __builtin_shufflevector(row0, row1, 2, 6, 3, 7);
    const Float4 low23 = __builtin_shufflevector(row2, row3, 0, 4, 1, 5);
    const Float4 high23 = __builtin_shufflevector(row2, row3, 2, 6, 3, 7);
    store4(destination, __builtin_shufflevector(low01, low23, 0, 1, 4, 5));
    store4(destination + destinationRowStride, __builtin_shufflevector(low01, low23, 2, 3, 6, 7));
    store4(destination + 2 * destinationRowStride, __builtin_shufflevector(high01, high23, 0, 1, 4, 5));
    store4(destination + 3 * destinationRowStride, __builtin_shufflevector(high01, high23, 2, 3, 6, 7));
}

template <class Value, class Term> Value reduce(std::size_t count, Term term) {
    std::array<Value, lanes> partial{};
    std::size_t index = 0;
    for (; index + lanes <= count; index += lanes) {
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            partial[lane] += term(index + lane);
        }
    }
    for (std::size_t lane = 0; index < count; ++index, ++lane) {
        partial[lane] += term(index);
    }
    Value total = 0;
    for (const Value value : partial) {
        total += value;
    }
    return total;
}

// BLAS takes int dimensions.
int blasSize(std::size_t size) { return static_cast<int>(size); }

template <class Value, class Result> Result maxOf(const Value* source, std::size_t count) {
    Result best{.value = -std::numeric_limits<Value>::infinity(), .index = 0};
    for (std::size_t index = 0; index < count; ++index) {
        // Strictly greater: an equal later value never displaces the first, and NaN compares false.
        if (source[index] > best.value) {
            best = {.value = source[index], .index = index};
        }
    }
    return best;
}

// Shared by the double-precision products: a product with no row or column writes nothing, one over an
// empty inner dimension is all zeros. Returns whether BLAS still has work to do.
bool prepareProduct(double* c, std::size_t m, std::size_t n, std::size_t k) {
    if (m == 0 || n == 0) {
        return false;
    }
    if (k == 0) {
        std::fill_n(c, m * n, 0.0);
        return false;
    }
    return true;
}

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

void transpose(const float* source, std::size_t sourceRowStride, float* destination, std::size_t destinationRowStride,
               std::size_t rows, std::size_t columns) {
    const std::size_t tileRows = rows - rows % 4;
    const std::size_t tileColumns = columns - columns % 4;
    for (std::size_t row = 0; row < tileRows; row += 4) {
        for (std::size_t column = 0; column < tileColumns; column += 4) {
            transposeTile(source + row * sourceRowStride + column, sourceRowStride,
                          destination + column * destinationRowStride + row, destinationRowStride);
        }
    }
    for (std::size_t row = 0; row < rows; ++row) {
        for (std::size_t column = row < tileRows ? tileColumns : 0; column < columns; ++column) {
            destination[column * destinationRowStride + row] = source[row * sourceRowStride + column];
        }
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
    return reduce<float>(count, [a, b](std::size_t index) { return a[index] * b[index]; });
}

float sum(const float* source, std::size_t count) {
    return reduce<float>(count, [source](std::size_t index) { return source[index]; });
}

float rms(const float* source, std::size_t count) {
    if (count == 0) {
        return 0.0f;
    }
    return std::sqrt(dot(source, source, count) / static_cast<float>(count));
}

MaxWithIndex maxWithIndex(const float* source, std::size_t count) { return maxOf<float, MaxWithIndex>(source, count); }

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

void addScaled(const double* source, double scale, double* accumulator, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        accumulator[index] += scale * source[index];
    }
}

void multiply(const double* a, const double* b, double* destination, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        destination[index] = a[index] * b[index];
    }
}

void multiplyScalar(const double* source, double scalar, double* destination, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        destination[index] = source[index] * scalar;
    }
}

double dot(const double* a, const double* b, std::size_t count) {
    return reduce<double>(count, [a, b](std::size_t index) { return a[index] * b[index]; });
}

double sum(const double* source, std::size_t count) {
    return reduce<double>(count, [source](std::size_t index) { return source[index]; });
}

MaxWithIndexDouble maxWithIndex(const double* source, std::size_t count) {
    return maxOf<double, MaxWithIndexDouble>(source, count);
}

void transposedMatrixVectorProduct(const double* matrix, std::size_t rows, std::size_t columns, const double* vector,
                                   double* destination) {
    if (!prepareProduct(destination, columns, 1, rows)) {
        return;
    }
    Blas::shared().dgemv(CblasRowMajor, CblasTrans, blasSize(rows), blasSize(columns), 1.0, matrix, blasSize(columns),
                         vector, 1, 0.0, destination, 1);
}

void matrixProduct(const double* a, const double* b, double* c, std::size_t m, std::size_t n, std::size_t k) {
    if (!prepareProduct(c, m, n, k)) {
        return;
    }
    Blas::shared().dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, blasSize(m), blasSize(n), blasSize(k), 1.0, a,
                         blasSize(k), b, blasSize(n), 0.0, c, blasSize(n));
}

void transposedMatrixProduct(const double* a, const double* b, double* c, std::size_t m, std::size_t n, std::size_t k) {
    if (!prepareProduct(c, m, n, k)) {
        return;
    }
    Blas::shared().dgemm(CblasRowMajor, CblasTrans, CblasNoTrans, blasSize(m), blasSize(n), blasSize(k), 1.0, a,
                         blasSize(m), b, blasSize(n), 0.0, c, blasSize(n));
}

void matrixTransposedProduct(const double* a, const double* b, double* c, std::size_t m, std::size_t n, std::size_t k) {
    if (!prepareProduct(c, m, n, k)) {
        return;
    }
    Blas::shared().dgemm(CblasRowMajor, CblasNoTrans, CblasTrans, blasSize(m), blasSize(n), blasSize(k), 1.0, a,
                         blasSize(k), b, blasSize(k), 0.0, c, blasSize(n));
}

} // namespace platform::dsp
