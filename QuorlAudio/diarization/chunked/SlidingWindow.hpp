#pragma once

namespace quorl {

// Where the frames of one chunk lie on the caller's timeline: frame f starts at start + step × f seconds.
struct SlidingWindow {
    double start = 0;
    // Carried with the window; no computation reads it.
    double duration = 0;
    double step = 0;

    double timeOf(double frame) const { return start + step * frame; }
};

} // namespace quorl
