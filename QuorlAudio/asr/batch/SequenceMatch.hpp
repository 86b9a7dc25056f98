#pragma once

namespace quorl {

// A run of elements that two sequences share: where it starts in the first (previous) sequence, where it
// starts in the second (current) one, and how many elements it covers.
struct SequenceMatch {
    int leftStartIndex = 0;
    int rightStartIndex = 0;
    int length = 0;

    bool operator==(const SequenceMatch&) const = default;
};

} // namespace quorl
