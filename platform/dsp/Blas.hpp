#pragma once

#include <cblas.h>

namespace platform::dsp {

// The BLAS routines the matrix operations use, taken from OpenBLAS when first needed rather than linked:
// OpenBLAS starts its worker threads while it loads, so a program that links it pays for them before `main`
// whether it multiplies matrices or not. Loaded here, it runs on one thread unless OPENBLAS_NUM_THREADS asks
// for more; the products in this system are small. Throws std::runtime_error when the library cannot be had.
struct Blas {
    decltype(&cblas_sgemv) sgemv;
    decltype(&cblas_sgemm) sgemm;
    decltype(&cblas_dgemm) dgemm;
    decltype(&cblas_dgemv) dgemv;

    static const Blas& shared();
};

} // namespace platform::dsp
