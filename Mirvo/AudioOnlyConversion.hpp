#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/FormatConverter.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace mirvo {

// Audio-only capture's conversion of captured buffers to 32-bit float, 16000 Hz, one channel. One converter
// serves the whole capture, so its resampling state carries from one buffer to the next.
class AudioOnlyConversion {
public:
    static constexpr double targetRate = 16000;

    // None when the platform cannot convert from `inputFormat`.
    static std::unique_ptr<AudioOnlyConversion> make(const platform::audio::AudioFormat& inputFormat);

    // The output room for one buffer: its frames at the target rate, with 32 frames for the resampler's
    // rounding; none when the rate is zero, not finite or so small that the count does not fit.
    static std::optional<std::uint32_t> capacity(double inputRate, std::uint32_t frameLength);

    // The samples the converter makes of the buffer, possibly none yet; nothing when conversion fails.
    std::optional<std::vector<float>> convert(const platform::audio::PCMBuffer& buffer, std::uint32_t capacity);

private:
    AudioOnlyConversion(platform::audio::AudioFormat targetFormat,
                        std::unique_ptr<platform::audio::FormatConverter> converter);

    const platform::audio::AudioFormat targetFormat_;
    const std::unique_ptr<platform::audio::FormatConverter> converter_;
};

} // namespace mirvo
