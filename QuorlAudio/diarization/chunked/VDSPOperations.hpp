#pragma once

#include <span>
#include <vector>

// Vector routines shared by the diarizers.
namespace quorl::VDSPOperations {

// The vector divided by its Euclidean norm, or by 1e-12 when the norm is smaller, so that zeros stay zeros;
// an empty vector is returned as it is.
std::vector<float> l2Normalize(std::span<const float> vector);

// ln(sum of exp(value)), with the maximum taken out first so that large values do not overflow; negative
// infinity for no value.
float logSumExp(std::span<const float> values);

} // namespace quorl::VDSPOperations
