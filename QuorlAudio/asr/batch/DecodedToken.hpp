#pragma once

namespace quorl {

// One token of a decoded chunk, on the time axis of the whole recording. For merging, a token starts at
// `timestamp` × 0.08 s and ends one encoder frame later, whatever its `duration`.
struct DecodedToken {
    // Vocabulary id.
    int token = 0;
    // Global encoder frame.
    int timestamp = 0;
    float confidence = 0;
    // Encoder frames the token spans.
    int duration = 0;

    bool operator==(const DecodedToken&) const = default;
};

} // namespace quorl
