#pragma once

#include "QuorlAudio/asr/batch/SequenceMatch.hpp"

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <iterator>
#include <optional>
#include <ranges>
#include <vector>

// Searches for what two token sequences share, used to join the outputs of overlapping audio windows. Every
// search takes a predicate telling whether an element of the first sequence matches one of the second, so the
// same searches serve plain token ids and tokens carrying their timing.
namespace quorl::SequenceMatcher {

template <class Range>
concept Sequence = std::ranges::random_access_range<const Range> && std::ranges::sized_range<const Range>;

template <class Matcher, class Left, class Right>
concept ElementMatcher =
    std::predicate<Matcher&, std::ranges::range_reference_t<const Left>, std::ranges::range_reference_t<const Right>>;

namespace detail {

template <Sequence Left, Sequence Right, ElementMatcher<Left, Right> Matcher>
bool runsMatch(const Left& left, int leftStart, const Right& right, int rightStart, int length, Matcher& matcher) {
    const auto leftBegin = std::ranges::begin(left) + leftStart;
    const auto rightBegin = std::ranges::begin(right) + rightStart;
    for (int offset = 0; offset < length; ++offset) {
        if (!matcher(leftBegin[offset], rightBegin[offset])) {
            return false;
        }
    }
    return true;
}

template <Sequence Range> int sizeOf(const Range& range) { return static_cast<int>(std::ranges::size(range)); }

} // namespace detail

// The longest run, of at least two elements and at most `maxOverlap`, that ends `previous` and begins
// `current`; none when no such run exists.
template <Sequence Previous, Sequence Current, ElementMatcher<Previous, Current> Matcher>
std::optional<SequenceMatch> findSuffixPrefixMatch(const Previous& previous, const Current& current, int maxOverlap,
                                                   Matcher matcher) {
    const int previousCount = detail::sizeOf(previous);
    const int longest = std::min({previousCount, detail::sizeOf(current), maxOverlap});
    for (int length = longest; length >= 2; --length) {
        if (detail::runsMatch(previous, previousCount - length, current, 0, length, matcher)) {
            return SequenceMatch{.leftStartIndex = previousCount - length, .rightStartIndex = 0, .length = length};
        }
    }
    return std::nullopt;
}

// A run of at least two elements that starts within the last `maxSearchLength` elements of `previous` and
// within the first `boundarySearchFrames` positions of `current` (counted in elements). The longest run wins,
// then the earliest start in `previous`, then the earliest start in `current`. A `maxSearchLength` below 2 or
// a negative `boundarySearchFrames` finds nothing.
template <Sequence Previous, Sequence Current, ElementMatcher<Previous, Current> Matcher>
std::optional<SequenceMatch> findBoundedSubstringMatch(const Previous& previous, const Current& current,
                                                       int maxSearchLength, int boundarySearchFrames, Matcher matcher) {
    const int previousCount = detail::sizeOf(previous);
    const int currentCount = detail::sizeOf(current);
    if (previousCount < 2 || currentCount < 2) {
        return std::nullopt;
    }
    const int firstPreviousStart = std::max(previousCount - maxSearchLength, 0);
    for (int length = std::min(currentCount, maxSearchLength); length >= 2; --length) {
        const int currentStarts = std::min(currentCount - length + 1, boundarySearchFrames);
        for (int previousStart = firstPreviousStart; previousStart <= previousCount - length; ++previousStart) {
            for (int currentStart = 0; currentStart < currentStarts; ++currentStart) {
                if (detail::runsMatch(previous, previousStart, current, currentStart, length, matcher)) {
                    return SequenceMatch{
                        .leftStartIndex = previousStart, .rightStartIndex = currentStart, .length = length};
                }
            }
        }
    }
    return std::nullopt;
}

// The pairs of a longest common subsequence of `left` and `right` under the matcher, each a match of length 1,
// with both indices increasing. Walking back from the ends, a matching pair is taken; otherwise the walk steps
// back in `left` only when that keeps a strictly longer subsequence, so ties step back in `right`. An empty
// sequence gives no matches.
template <Sequence Left, Sequence Right, ElementMatcher<Left, Right> Matcher>
std::vector<SequenceMatch> findLongestCommonSubsequence(const Left& left, const Right& right, Matcher matcher) {
    const auto leftBegin = std::ranges::begin(left);
    const auto rightBegin = std::ranges::begin(right);
    const int rows = detail::sizeOf(left);
    const int columns = detail::sizeOf(right);
    const auto width = static_cast<std::size_t>(columns) + 1;
    std::vector<int> lengths((static_cast<std::size_t>(rows) + 1) * width, 0);
    const auto cell = [&](int row, int column) -> int& {
        return lengths[static_cast<std::size_t>(row) * width + static_cast<std::size_t>(column)];
    };
    for (int row = 1; row <= rows; ++row) {
        for (int column = 1; column <= columns; ++column) {
            cell(row, column) = matcher(leftBegin[row - 1], rightBegin[column - 1])
                                    ? cell(row - 1, column - 1) + 1
                                    : std::max(cell(row - 1, column), cell(row, column - 1));
        }
    }
    std::vector<SequenceMatch> matches;
    for (int row = rows, column = columns; row >= 1 && column >= 1;) {
        if (matcher(leftBegin[row - 1], rightBegin[column - 1])) {
            matches.push_back(SequenceMatch{.leftStartIndex = row - 1, .rightStartIndex = column - 1, .length = 1});
            --row;
            --column;
        } else if (cell(row - 1, column) > cell(row, column - 1)) {
            --row;
        } else {
            --column;
        }
    }
    std::ranges::reverse(matches);
    return matches;
}

} // namespace quorl::SequenceMatcher
