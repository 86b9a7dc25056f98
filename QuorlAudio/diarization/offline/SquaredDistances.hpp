#pragma once

#include <cstddef>
#include <span>

namespace quorl {

// distances[i] = Σ over k of (from[k] − to[i][k])², each term added in coordinate order with one fused
// multiply-add, so every machine gets the same bits. Eight rows are accumulated side by side, with the
// processor's fused multiply-add instruction where it has one.
void squaredDistances(const double* from, std::span<const double* const> to, std::size_t dimension, double* distances);

} // namespace quorl
