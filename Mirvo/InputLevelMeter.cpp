#include "Mirvo/InputLevelMeter.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace mirvo {

namespace {

constexpr double levelScale = 8.0;

// In 32-bit float throughout, so the level is the same on every machine.
float firstChannelRms(const platform::audio::PCMBuffer& buffer) {
    const float* samples = buffer.floatChannelData()[0];
    const std::uint32_t stride = buffer.stride();
    float sumOfSquares = 0;
    for (std::uint32_t frame = 0; frame < buffer.frameLength(); ++frame) {
        const float sample = samples[static_cast<std::size_t>(frame) * stride];
        sumOfSquares += sample * sample;
    }
    return std::sqrt(sumOfSquares / static_cast<float>(buffer.frameLength()));
}

} // namespace

InputLevelMeter::InputLevelMeter(WallClock wallClock) : wallClock_(std::move(wallClock)) {}

std::optional<double> InputLevelMeter::level(const platform::audio::PCMBuffer& from) {
    const double now = wallClock_();
    if (now - lastLevelEmit_ < interval) {
        return std::nullopt;
    }
    lastLevelEmit_ = now;
    if (from.floatChannelData() == nullptr || from.frameLength() == 0) {
        return std::nullopt;
    }
    return std::min(static_cast<double>(firstChannelRms(from)) * levelScale, 1.0);
}

InputLevelMeter::WallClock InputLevelMeter::systemWallClock() {
    return [] { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); };
}

} // namespace mirvo
