#include "QuorlAudio/foundation/AudioWAV.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorl::AudioWAV {

namespace {

constexpr std::size_t headerSize = 44;
// The chunk size counts everything after the "RIFF" id and the size field itself.
constexpr std::uint32_t headerBytesAfterChunkSize = headerSize - 8;
constexpr std::uint32_t bytesPerSample = 2;
// Beyond this the byte rate, twice the rate, no longer fits its unsigned 32-bit field.
constexpr double sampleRateLimit = 2147483648.0;

void appendText(std::vector<std::uint8_t>& bytes, std::string_view text) {
    for (const char character : text) {
        bytes.push_back(static_cast<std::uint8_t>(character));
    }
}

void appendUInt16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void appendUInt32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    appendUInt16(bytes, static_cast<std::uint16_t>(value & 0xFFFF));
    appendUInt16(bytes, static_cast<std::uint16_t>(value >> 16));
}

void checkFitsHeader(std::size_t sampleCount, double sampleRate) {
    if (!(sampleRate >= 0 && sampleRate < sampleRateLimit)) {
        throw std::invalid_argument("WAV sample rate out of range: " + std::to_string(sampleRate));
    }
    constexpr std::size_t maxSamples =
        (std::numeric_limits<std::uint32_t>::max() - headerBytesAfterChunkSize) / bytesPerSample;
    if (sampleCount > maxSamples) {
        throw std::invalid_argument("Too many samples for one WAV file: " + std::to_string(sampleCount));
    }
}

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

std::vector<std::uint8_t> sampleBytes(std::span<const float> samples, bool normalize) {
    const float peak = normalize ? peakMagnitude(samples) : 0.0f;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(samples.size() * bytesPerSample);
    for (const float sample : samples) {
        const float value = peak > 0 ? sample / peak : sample;
        appendUInt16(bytes, static_cast<std::uint16_t>(pcm16(value)));
    }
    return bytes;
}

} // namespace

std::vector<std::uint8_t> data(std::span<const float> samples, double sampleRate, bool normalize) {
    checkFitsHeader(samples.size(), sampleRate);
    const std::vector<std::uint8_t> pcm = sampleBytes(samples, normalize);
    const auto dataSize = static_cast<std::uint32_t>(pcm.size());

    std::vector<std::uint8_t> bytes;
    bytes.reserve(headerSize + pcm.size());
    appendText(bytes, "RIFF");
    appendUInt32(bytes, headerBytesAfterChunkSize + dataSize);
    appendText(bytes, "WAVE");
    appendText(bytes, "fmt ");
    appendUInt32(bytes, 16); // size of the fmt sub-chunk
    appendUInt16(bytes, 1);  // PCM
    appendUInt16(bytes, 1);  // mono
    appendUInt32(bytes, static_cast<std::uint32_t>(sampleRate));
    appendUInt32(bytes, static_cast<std::uint32_t>(sampleRate * 2));
    appendUInt16(bytes, bytesPerSample); // block align
    appendUInt16(bytes, 16);             // bits per sample
    appendText(bytes, "data");
    appendUInt32(bytes, dataSize);
    bytes.insert(bytes.end(), pcm.begin(), pcm.end());
    return bytes;
}

} // namespace quorl::AudioWAV
