#pragma once

#include <cstdint>
#include <limits>

namespace platform::core {

// left + right, held at the limits of the type instead of overflowing: sums of sizes that a server states
// stay meaningful however large the stated sizes are.
constexpr std::int64_t saturatingAdd(std::int64_t left, std::int64_t right) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(left, right, &sum)) {
        return sum;
    }
    return right > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

} // namespace platform::core
