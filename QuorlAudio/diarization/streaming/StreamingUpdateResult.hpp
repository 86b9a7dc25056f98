#pragma once

#include <vector>

namespace quorl {

// The predictions one streaming step hands to the timeline: final ones for the chunk's core frames and
// provisional ones for its right-context frames, both frame-major with numSpeakers values per frame.
struct StreamingUpdateResult {
    std::vector<float> confirmed;
    std::vector<float> tentative;
    int numSpeakers = 0;

    int confirmedFrameCount() const;
    int tentativeFrameCount() const;
};

} // namespace quorl
