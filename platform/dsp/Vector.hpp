#pragma once

#include <cstddef>

namespace platform::dsp {

// Vector arithmetic on contiguous single-precision data. Every function takes raw pointers and an element
// count so hot loops over model memory stay free of per-element indirection.

// The ranges may overlap.
void copy(const float* source, float* destination, std::size_t count);
// Copies `count` values read every `sourceStride` elements to every `destinationStride`-th element, so a
// column of a model array can be gathered into a padded input without a temporary.
void copy(const float* source, std::size_t sourceStride, float* destination, std::size_t destinationStride,
          std::size_t count);
// Copies `rows` rows of `columns` values between buffers whose rows start `sourceRowStride` and
// `destinationRowStride` elements apart.
void matrixMove(const float* source, std::size_t sourceRowStride, float* destination, std::size_t destinationRowStride,
                std::size_t rows, std::size_t columns);
// Writes the transpose of a `rows` x `columns` matrix: destination[c * destinationRowStride + r] =
// source[r * sourceRowStride + c]. It moves four-by-four tiles, so both sides are read and written four
// values at a time.
void transpose(const float* source, std::size_t sourceRowStride, float* destination, std::size_t destinationRowStride,
               std::size_t rows, std::size_t columns);
void clear(float* destination, std::size_t count);
void fill(float* destination, float value, std::size_t count);
// accumulator[i] += scale * source[i]
void addScaled(const float* source, float scale, float* accumulator, std::size_t count);
// destination[i] = a[i] * b[i]
void multiply(const float* a, const float* b, float* destination, std::size_t count);
// destination[i] = source[i] * scalar
void multiplyScalar(const float* source, float scalar, float* destination, std::size_t count);
float dot(const float* a, const float* b, std::size_t count);
float sum(const float* source, std::size_t count);
// The root mean square; 0 for no element.
float rms(const float* source, std::size_t count);

struct MaxWithIndex {
    float value;
    std::size_t index;
};
// The greatest element and its position; the lowest index wins ties and NaN never wins.
// With no element, or only NaNs, the result is {-infinity, 0}.
MaxWithIndex maxWithIndex(const float* source, std::size_t count);

// destination (rows) = matrix (rows x columns, row-major) * vector (columns).
void matrixVectorProduct(const float* matrix, std::size_t rows, std::size_t columns, const float* vector,
                         float* destination);
// c (m x n) = a (m x k) * b (k x n), all row-major. With k = 0 the product is all zeros.
void matrixProduct(const float* a, const float* b, float* c, std::size_t m, std::size_t n, std::size_t k);

// The same in double precision, for statistics that accumulate over thousands of rows.
// accumulator[i] += scale * source[i]
void addScaled(const double* source, double scale, double* accumulator, std::size_t count);
// destination[i] = a[i] * b[i]
void multiply(const double* a, const double* b, double* destination, std::size_t count);
// destination[i] = source[i] * scalar
void multiplyScalar(const double* source, double scalar, double* destination, std::size_t count);
double dot(const double* a, const double* b, std::size_t count);
double sum(const double* source, std::size_t count);

struct MaxWithIndexDouble {
    double value;
    std::size_t index;
};
// As for single precision: the lowest index wins ties, NaN never wins, and no candidate gives {-infinity, 0}.
MaxWithIndexDouble maxWithIndex(const double* source, std::size_t count);

// destination (columns) = matrix transposed (columns x rows) * vector (rows); matrix is rows x columns,
// row-major. With rows = 0 the result is all zeros.
void transposedMatrixVectorProduct(const double* matrix, std::size_t rows, std::size_t columns, const double* vector,
                                   double* destination);
// c (m x n) = a (m x k) * b (k x n), all row-major. With k = 0 the product is all zeros.
void matrixProduct(const double* a, const double* b, double* c, std::size_t m, std::size_t n, std::size_t k);
// c (m x n) = a transposed * b, where a is k x m and b is k x n, all row-major.
void transposedMatrixProduct(const double* a, const double* b, double* c, std::size_t m, std::size_t n, std::size_t k);
// c (m x n) = a * b transposed, where a is m x k and b is n x k, all row-major.
void matrixTransposedProduct(const double* a, const double* b, double* c, std::size_t m, std::size_t n, std::size_t k);

} // namespace platform::dsp
