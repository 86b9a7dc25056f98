#pragma once

#include "platform/audio/PCMBuffer.hpp"

#include <cstdint>

// Moving samples between PCM buffers of any format and interleaved Float32 frames, the form in which the
// format converter mixes and resamples. Integers map to floats as value / 2^(bits-1); floats map back to
// integers rounded to nearest and clipped to the integer's range (NaN becomes 0).
namespace platform::audio::SampleCoding {

// Reads frameCount frames from frame `offset` of the buffer into `output` as frames of `channelCount` floats:
// the buffer's own channels when channelCount equals its channel count, or their average when channelCount
// is 1.
void decode(const PCMBuffer& buffer, std::uint32_t offset, std::uint32_t frameCount, std::uint32_t channelCount,
            float* output);

// Writes frameCount frames of `channelCount` floats into the buffer from frame `offset`: channel by channel
// when the counts are equal, the one channel into every channel when channelCount is 1.
void encode(const float* input, std::uint32_t frameCount, std::uint32_t channelCount, PCMBuffer& buffer,
            std::uint32_t offset);

} // namespace platform::audio::SampleCoding
