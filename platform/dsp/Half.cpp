#include "platform/dsp/Half.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace platform::dsp {
namespace {

// The language's conversion of _Float16 rounds to nearest with ties to even, keeps subnormals, turns
// values beyond the half range into infinities and keeps NaN a NaN. Without hardware half support it is a
// library call per element.
void narrowEach(const float* source, Half* destination, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        destination[index] = static_cast<Half>(source[index]);
    }
}

void widenEach(const Half* source, float* destination, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        destination[index] = static_cast<float>(source[index]);
    }
}

#if defined(__x86_64__)
// The baseline x86-64 build cannot assume F16C, so these eight-lane versions are chosen at run time. The
// instructions round as the language does (nearest, ties to even, with subnormals, infinities and NaN).
constexpr std::size_t lanes = 8;

__attribute__((target("avx,f16c"))) void narrowWithF16c(const float* source, Half* destination, std::size_t count) {
    std::size_t index = 0;
    for (; index + lanes <= count; index += lanes) {
        const __m128i halves =
            _mm256_cvtps_ph(_mm256_loadu_ps(source + index), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + index), halves);
    }
    narrowEach(source + index, destination + index, count - index);
}

__attribute__((target("avx,f16c"))) void widenWithF16c(const Half* source, float* destination, std::size_t count) {
    std::size_t index = 0;
    for (; index + lanes <= count; index += lanes) {
        const __m128i halves = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + index));
        _mm256_storeu_ps(destination + index, _mm256_cvtph_ps(halves));
    }
    widenEach(source + index, destination + index, count - index);
}

bool hasF16c() {
    static const bool supported = __builtin_cpu_supports("avx") && __builtin_cpu_supports("f16c");
    return supported;
}
#endif

} // namespace

void floatToHalf(const float* source, Half* destination, std::size_t count) {
#if defined(__x86_64__)
    if (hasF16c()) {
        narrowWithF16c(source, destination, count);
        return;
    }
#endif
    narrowEach(source, destination, count);
}

void halfToFloat(const Half* source, float* destination, std::size_t count) {
#if defined(__x86_64__)
    if (hasF16c()) {
        widenWithF16c(source, destination, count);
        return;
    }
#endif
    widenEach(source, destination, count);
}

} // namespace platform::dsp
