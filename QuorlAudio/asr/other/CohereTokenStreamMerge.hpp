#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace quorl {

// Joins the token streams of two overlapping windows of long audio where they repeat each other.
struct CohereTokenStreamMerge {
    // The longest run of tokens shared by the last `windowTokens` of the prefix and the first `windowTokens`
    // of the suffix (the first found when several are equally long, tail positions outermost) marks the
    // seam: when it is at least `minMatch` long, the suffix loses everything up to the run's end. Otherwise
    // the two are simply joined, repeated words and all. An empty side yields the other.
    static std::vector<int> mergeTokenStreams(std::span<const int> prefix, std::span<const int> suffix,
                                              std::size_t windowTokens, std::size_t minMatch);
};

} // namespace quorl
