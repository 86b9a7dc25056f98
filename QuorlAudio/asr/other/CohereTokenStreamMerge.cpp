#include "QuorlAudio/asr/other/CohereTokenStreamMerge.hpp"

#include <algorithm>

namespace quorl {
namespace {

struct CommonRun {
    std::size_t length = 0;
    // Position just after the run in the second list.
    std::size_t endInSecond = 0;
};

// Longest common substring by dynamic programming, one row of run lengths per position of `first`.
CommonRun longestCommonRun(std::span<const int> first, std::span<const int> second) {
    CommonRun best;
    std::vector<std::size_t> previous(second.size() + 1, 0);
    std::vector<std::size_t> current(second.size() + 1, 0);
    for (std::size_t i = 1; i <= first.size(); ++i) {
        for (std::size_t j = 1; j <= second.size(); ++j) {
            current[j] = first[i - 1] == second[j - 1] ? previous[j - 1] + 1 : 0;
            if (current[j] > best.length) {
                best = {.length = current[j], .endInSecond = j};
            }
        }
        std::swap(previous, current);
    }
    return best;
}

std::vector<int> joined(std::span<const int> prefix, std::span<const int> suffix) {
    std::vector<int> result(prefix.begin(), prefix.end());
    result.insert(result.end(), suffix.begin(), suffix.end());
    return result;
}

} // namespace

std::vector<int> CohereTokenStreamMerge::mergeTokenStreams(std::span<const int> prefix, std::span<const int> suffix,
                                                           std::size_t windowTokens, std::size_t minMatch) {
    const auto tail = prefix.last(std::min(windowTokens, prefix.size()));
    const auto head = suffix.first(std::min(windowTokens, suffix.size()));
    if (tail.empty() || head.empty()) {
        return joined(prefix, suffix);
    }
    const auto run = longestCommonRun(tail, head);
    if (run.length < minMatch) {
        return joined(prefix, suffix);
    }
    return joined(prefix, suffix.subspan(run.endInSecond));
}

} // namespace quorl
