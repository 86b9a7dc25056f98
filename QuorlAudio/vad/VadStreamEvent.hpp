#pragma once

#include <cstdint>
#include <optional>

namespace quorl {

// Speech began or ended in a stream, at a sample position (padding applied).
struct VadStreamEvent {
    enum class Kind { speechStart, speechEnd };

    Kind kind = Kind::speechStart;
    std::int64_t sampleIndex = 0;
    // Seconds, rounded, when the caller asked for them.
    std::optional<double> time = std::nullopt;

    bool isStart() const { return kind == Kind::speechStart; }
    bool isEnd() const { return kind == Kind::speechEnd; }

    bool operator==(const VadStreamEvent&) const = default;
};

// Whether a stream's events carry their time: in seconds, rounded half away from zero to `timeResolution`
// decimals.
struct VadEventTiming {
    bool returnSeconds = false;
    int timeResolution = 1;
};

} // namespace quorl
