#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Encoding of float samples as 16-bit PCM mono WAV files.
namespace quorl::AudioWAV {

// The bytes of a complete WAV file holding the samples. With normalize, the samples are first scaled so that
// the loudest one reaches full scale. Samples at or beyond full scale clip to +/-32767.
// Throws std::invalid_argument when the rate is not in [0, 2^31) or the data would not fit the 32-bit
// size fields of the header.
std::vector<std::uint8_t> data(std::span<const float> samples, double sampleRate, bool normalize);

} // namespace quorl::AudioWAV
