#include "bench/QuorlAudio/asr/streaming/ToneBuffer.hpp"

#include "platform/audio/AudioFormat.hpp"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace benchsupport {

std::shared_ptr<platform::audio::PCMBuffer> toneBuffer(std::size_t frames) {
    const auto format = platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 16000, 1, false);
    auto buffer = platform::audio::PCMBuffer::make(*format, static_cast<std::uint32_t>(frames));
    for (std::size_t index = 0; index < frames; ++index) {
        buffer->floatChannelData()[0][index] =
            static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 440 * static_cast<double>(index) / 16000));
    }
    buffer->setFrameLength(static_cast<std::uint32_t>(frames));
    return buffer;
}

} // namespace benchsupport
