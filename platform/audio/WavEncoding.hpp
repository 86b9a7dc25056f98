#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Writing mono 16-bit PCM RIFF/WAVE files in memory: the 44-byte header ("RIFF", "WAVE", a 16-byte "fmt "
// chunk, "data"), then the samples, little-endian.
namespace platform::audio::WavEncoding {

inline constexpr std::size_t headerSize = 44;
// The most samples whose bytes, with the header after the RIFF size field, that field can still count.
inline constexpr std::size_t maxSampleCount = (0xFFFFFFFFU - (headerSize - 8)) / sizeof(std::int16_t);
// From this rate on the byte rate, twice the rate, no longer fits its 32-bit field.
inline constexpr double sampleRateLimit = 2147483648.0;

// The header of a file of `sampleCount` samples. The rate and the byte rate (twice the rate) are each written
// truncated to a whole number. Throws std::invalid_argument when the rate is not in [0, sampleRateLimit) or
// there are more than maxSampleCount samples.
std::vector<std::uint8_t> header(std::size_t sampleCount, double sampleRate);

void appendSample(std::vector<std::uint8_t>& bytes, std::int16_t sample);

// The header followed by the samples; throws as header() does.
std::vector<std::uint8_t> file(std::span<const std::int16_t> samples, double sampleRate);

} // namespace platform::audio::WavEncoding
