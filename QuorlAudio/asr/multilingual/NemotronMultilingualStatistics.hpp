#pragma once

#include <cstdint>

namespace quorl {

// What a multilingual stream has done over its whole life; neither finishing nor resetting clears it. The
// stage times are nanoseconds of preparing mel features, encoding and decoding, and wrap at 2^64.
struct NemotronMultilingualStatistics {
    std::uint64_t prepNanos = 0;
    std::uint64_t encNanos = 0;
    std::uint64_t decNanos = 0;
    // Chunks handed to the per-chunk work, quiet ones the energy gate skipped included.
    std::int64_t chunkCount = 0;
    std::int64_t vadSkipCount = 0;
    std::int64_t specWindowsTotal = 0;
    std::int64_t specWindowsAllBlank = 0;
    std::int64_t specWindowsHitNonBlank = 0;

    bool operator==(const NemotronMultilingualStatistics&) const = default;
};

} // namespace quorl
