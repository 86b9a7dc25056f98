#pragma once

#include "platform/audio/PCMBuffer.hpp"

#include <functional>
#include <optional>

namespace mirvo {

// The input-level meter of the capturing plug-ins: at most one level every 0.1 s, the first channel's root
// mean square scaled by 8 and capped at 1.0. Used only from the audio thread that delivers the buffers.
class InputLevelMeter {
public:
    // Wall-clock time in seconds since 1970.
    using WallClock = std::function<double()>;

    static constexpr double interval = 0.1;

    explicit InputLevelMeter(WallClock wallClock = systemWallClock());

    // The level to report for this buffer, or nothing. A buffer that comes within the interval is not looked
    // at; one that does not yields a level unless it lacks float samples or frames, and either way it starts
    // a new interval.
    std::optional<double> level(const platform::audio::PCMBuffer& from);

    static WallClock systemWallClock();

private:
    WallClock wallClock_;
    double lastLevelEmit_ = 0;
};

} // namespace mirvo
