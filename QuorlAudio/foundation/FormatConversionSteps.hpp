#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/FormatConverter.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <cstdint>
#include <memory>
#include <vector>

namespace quorl {

// The steps the toolkit's conversions are made of, each failing with its AudioConverterError.

// Float32, `sampleRate`, 1 channel, non-interleaved; throws failedToCreateSourceFormat when the rate is unusable.
platform::audio::AudioFormat monoFloat32Format(double sampleRate);
// The same as a converter's target; throws std::invalid_argument when the rate is not a positive finite number.
platform::audio::AudioFormat monoFloat32Target(double sampleRate);
// Throws failedToCreateConverter when the platform converter refuses the formats.
std::unique_ptr<platform::audio::FormatConverter> makeFormatConverter(const platform::audio::AudioFormat& inputFormat,
                                                                      const platform::audio::AudioFormat& outputFormat);
// Throws failedToCreateBuffer when the capacity reaches 2^32 frames or the buffer cannot be made.
std::shared_ptr<platform::audio::PCMBuffer> makeConversionBuffer(const platform::audio::AudioFormat& format,
                                                                 std::uint64_t frameCapacity);
// One call of the converter; its error status throws conversionFailed with the converter's error.
platform::audio::FormatConverter::OutputStatus
convertOrThrow(platform::audio::FormatConverter& converter, platform::audio::PCMBuffer& output,
               const platform::audio::FormatConverter::InputBlock& input);
// Appends channel 0 of the buffer's frames; nothing without Float32 channel data or frames.
void appendChannelZero(std::vector<float>& samples, const platform::audio::PCMBuffer& buffer);
// The average of the channels of a Float32 buffer of either layout, frame by frame: (1 / channels) x sum.
// Throws failedToCreateBuffer when the buffer has no Float32 channel data.
std::vector<float> mixedToMono(const platform::audio::PCMBuffer& buffer);

} // namespace quorl
