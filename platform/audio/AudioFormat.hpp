#pragma once

#include "platform/audio/CommonFormat.hpp"
#include "platform/audio/StreamDescription.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform::audio {

// A linear PCM format: sample type, sample rate, channel count and channel layout in memory. Immutable;
// creation fails (nullopt) for formats that cannot describe audio.
class AudioFormat {
public:
    // Fails for zero channels or a rate that is not a positive finite number.
    static std::optional<AudioFormat> make(CommonFormat commonFormat, double sampleRate, std::uint32_t channelCount,
                                           bool interleaved);
    // Fails, besides, for sample types no common format holds (floats other than 32 or 64 bits, integers other
    // than 16 or 32 bits).
    static std::optional<AudioFormat> make(const StreamDescription& description);

    CommonFormat commonFormat() const { return commonFormat_; }
    double sampleRate() const { return sampleRate_; }
    std::uint32_t channelCount() const { return channelCount_; }
    bool isInterleaved() const { return interleaved_; }

    // Bytes of one frame in one buffer: all channels when interleaved, one channel otherwise.
    std::size_t bytesPerFrame() const;
    // Buffers holding the samples: 1 when interleaved, one per channel otherwise.
    std::uint32_t bufferCount() const;

    // For example "2 ch, 44100 Hz, Float32, interleaved".
    std::string description() const;

    bool operator==(const AudioFormat&) const = default;

private:
    AudioFormat(CommonFormat commonFormat, double sampleRate, std::uint32_t channelCount, bool interleaved);

    CommonFormat commonFormat_;
    double sampleRate_;
    std::uint32_t channelCount_;
    bool interleaved_;
};

} // namespace platform::audio
