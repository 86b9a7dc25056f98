#include "QuorlAudio/diarization/chunked/Hungarian.hpp"

#include <cstddef>

namespace quorl::Hungarian {

namespace {

constexpr std::int64_t infinity = 2305843009213693951; // 2^61 - 1: no sum of slacks can reach it.

} // namespace

// Shortest augmenting paths with row potentials u and column potentials v, 1-based with a dummy column 0;
// p maps a column to its row (0 = free).
std::vector<int> solve(const std::vector<std::int64_t>& costSquare, int n) {
    if (n <= 0) {
        return {};
    }
    const auto size = static_cast<std::size_t>(n) + 1;
    const auto cost = [&](std::size_t row, std::size_t column) {
        return costSquare[(row - 1) * static_cast<std::size_t>(n) + (column - 1)];
    };
    std::vector<std::int64_t> u(size, 0);
    std::vector<std::int64_t> v(size, 0);
    std::vector<std::size_t> p(size, 0);
    std::vector<std::size_t> way(size, 0);
    for (std::size_t i = 1; i < size; ++i) {
        p[0] = i;
        std::size_t column = 0;
        std::vector<std::int64_t> slack(size, infinity);
        std::vector<bool> visited(size, false);
        do {
            visited[column] = true;
            const std::size_t row = p[column];
            std::int64_t delta = infinity;
            std::size_t next = 0;
            for (std::size_t j = 1; j < size; ++j) {
                if (visited[j]) {
                    continue;
                }
                const std::int64_t reduced = cost(row, j) - u[row] - v[j];
                if (reduced < slack[j]) {
                    slack[j] = reduced;
                    way[j] = column;
                }
                if (slack[j] < delta) {
                    delta = slack[j];
                    next = j;
                }
            }
            for (std::size_t j = 0; j < size; ++j) {
                if (visited[j]) {
                    u[p[j]] += delta;
                    v[j] -= delta;
                } else {
                    slack[j] -= delta;
                }
            }
            column = next;
        } while (p[column] != 0);
        do {
            const std::size_t previous = way[column];
            p[column] = p[previous];
            column = previous;
        } while (column != 0);
    }
    std::vector<int> assignment(static_cast<std::size_t>(n), -1);
    for (std::size_t j = 1; j < size; ++j) {
        if (p[j] != 0) {
            assignment[p[j] - 1] = static_cast<int>(j - 1);
        }
    }
    return assignment;
}

} // namespace quorl::Hungarian
