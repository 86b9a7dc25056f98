#pragma once

#include "platform/audio/PCMBuffer.hpp"

#include <cstdint>
#include <memory>
#include <span>

// Reading a RIFF/WAVE file held in memory into a PCM buffer. The buffer keeps the file's frames interleaved and
// its sample type: Int16 for 16-bit integers, Int32 for 24-bit (scaled up by 256) and 32-bit integers, Float32
// for 32-bit floats. Chunks other than "fmt " and "data" are skipped, with their padding byte after an odd size.
namespace platform::audio::WavDecoding {

// Error domain and codes of the failures; the codes are the platform's four-character audio file codes.
inline constexpr const char* errorDomain = "AudioPlayer";
// 'typ?': not a RIFF/WAVE file.
inline constexpr std::int64_t unsupportedFileTypeCode = 1954115647;
// 'fmt?': a WAV file of an encoding or sample size that is not played.
inline constexpr std::int64_t unsupportedDataFormatCode = 1718449215;
// 'dta?': a WAV file whose structure is broken.
inline constexpr std::int64_t invalidFileCode = 1685348671;

// Throws platform::core::SystemError (errorDomain) when the bytes are not a WAV file of a supported encoding.
std::shared_ptr<PCMBuffer> decode(std::span<const std::uint8_t> bytes);

} // namespace platform::audio::WavDecoding
