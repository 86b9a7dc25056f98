#pragma once

#include <cstdint>
#include <vector>

namespace quorl {

// Minimum-cost one-to-one assignment of an n x n cost matrix.
namespace Hungarian {

// `costSquare` holds the matrix row-major; the result gives, for each row, its assigned column.
std::vector<int> solve(const std::vector<std::int64_t>& costSquare, int n);

} // namespace Hungarian

} // namespace quorl
