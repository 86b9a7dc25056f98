#pragma once

#include <cstddef>
#include <vector>

namespace quorl {

// The recurrent state of one audio stream, carried from each block to the next: the model's hidden and cell
// states and the last samples of the previous block, which the model reads as context before the new block.
struct VadState {
    static constexpr std::size_t contextLength = 64;
    static constexpr std::size_t stateSize = 128;

    std::vector<float> hiddenState;
    std::vector<float> cellState;
    std::vector<float> context;

    // Zero states and a zero context: the start of a recording.
    static VadState initial();

    bool operator==(const VadState&) const = default;
};

} // namespace quorl
