#include "QuorlAudio/foundation/AudioWAV.hpp"

#include "platform/audio/WavEncoding.hpp"

#include <algorithm>
#include <cmath>

namespace quorl::AudioWAV {

namespace {

namespace WavEncoding = platform::audio::WavEncoding;

float peakMagnitude(std::span<const float> samples) {
    float peak = 0;
    for (const float sample : samples) {
        peak = std::max(peak, std::abs(sample));
    }
    return peak;
}

// -1 maps to -32767 rather than -32768 so that full scale is symmetric; NaN fails the comparison and
// lands on the positive limit.
std::int16_t pcm16(float sample) {
    const float scaled = sample < 1.0f ? std::max(sample, -1.0f) * 32767.0f : 32767.0f;
    return static_cast<std::int16_t>(scaled);
}

} // namespace

std::vector<std::uint8_t> data(std::span<const float> samples, double sampleRate, bool normalize) {
    // The header checks the rate and the count before any sample is converted.
    std::vector<std::uint8_t> bytes = WavEncoding::header(samples.size(), sampleRate);
    bytes.reserve(WavEncoding::headerSize + samples.size() * sizeof(std::int16_t));
    const float peak = normalize ? peakMagnitude(samples) : 0.0f;
    for (const float sample : samples) {
        WavEncoding::appendSample(bytes, pcm16(peak > 0 ? sample / peak : sample));
    }
    return bytes;
}

} // namespace quorl::AudioWAV
