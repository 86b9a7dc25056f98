#pragma once

#include <string>

namespace quorl {

// Whether a segment at some distance from a speaker joins it, and whether it also refines its voice profile.
struct AssignmentDecision {
    bool shouldAssign = false;
    bool shouldUpdate = false;
    // One minus the distance.
    float confidence = 0;
    std::string reason{};
};

} // namespace quorl
