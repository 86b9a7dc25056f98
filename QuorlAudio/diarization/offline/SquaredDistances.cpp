#include "QuorlAudio/diarization/offline/SquaredDistances.hpp"

#include <cmath>

namespace quorl {
namespace {

constexpr std::size_t block = 8;

// Inlined into each variant below, so that the target's fused multiply-add takes the place of the call.
[[gnu::always_inline]] inline void blockOfDistances(const double* from, const double* const* to, std::size_t dimension,
                                                    double* distances) {
    double totals[block] = {};
    for (std::size_t k = 0; k < dimension; ++k) {
        for (std::size_t row = 0; row < block; ++row) {
            const double difference = from[k] - to[row][k];
            totals[row] = __builtin_fma(difference, difference, totals[row]);
        }
    }
    for (std::size_t row = 0; row < block; ++row) {
        distances[row] = totals[row];
    }
}

void portableBlock(const double* from, const double* const* to, std::size_t dimension, double* distances) {
    blockOfDistances(from, to, dimension, distances);
}

#if defined(__x86_64__)
[[gnu::target("fma")]] void fusedBlock(const double* from, const double* const* to, std::size_t dimension,
                                       double* distances) {
    blockOfDistances(from, to, dimension, distances);
}

using BlockFunction = void (*)(const double*, const double* const*, std::size_t, double*);

BlockFunction bestBlock() {
    static const BlockFunction chosen = __builtin_cpu_supports("fma") ? fusedBlock : portableBlock;
    return chosen;
}
#else
auto bestBlock() { return portableBlock; }
#endif

double squaredDistance(const double* from, const double* to, std::size_t dimension) {
    double total = 0;
    for (std::size_t k = 0; k < dimension; ++k) {
        const double difference = from[k] - to[k];
        total = std::fma(difference, difference, total);
    }
    return total;
}

} // namespace

void squaredDistances(const double* from, std::span<const double* const> to, std::size_t dimension, double* distances) {
    const auto computeBlock = bestBlock();
    std::size_t row = 0;
    for (; row + block <= to.size(); row += block) {
        computeBlock(from, to.data() + row, dimension, distances + row);
    }
    for (; row < to.size(); ++row) {
        distances[row] = squaredDistance(from, to[row], dimension);
    }
}

} // namespace quorl
