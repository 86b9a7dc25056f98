#pragma once

#include "QuorlAudio/vad/VadState.hpp"

#include <cstdint>
#include <optional>

namespace quorl {

// Everything one voice stream carries between blocks; the caller holds it, so one manager serves many streams.
struct VadStreamState {
    VadState modelState = VadState::initial();
    // Inside speech: a start was reported and no end yet.
    bool triggered = false;
    // The sample where the current silence began, while one lasts inside speech.
    std::optional<std::int64_t> tempEndSample = std::nullopt;
    // Samples fed so far, counted as the blocks came (before the model's padding or cutting).
    std::int64_t processedSamples = 0;

    static VadStreamState initial();

    bool operator==(const VadStreamState&) const = default;
};

} // namespace quorl
