#include "platform/audio/WavEncoding.hpp"

#include "platform/core/Concatenated.hpp"

#include <stdexcept>
#include <string>
#include <string_view>

namespace platform::audio::WavEncoding {

namespace {

constexpr std::uint32_t bytesPerSample = sizeof(std::int16_t);
// The RIFF size field counts everything after itself: the rest of the header and the samples.
constexpr std::uint32_t headerBytesAfterRiffSize = headerSize - 8;
constexpr std::uint32_t formatChunkSize = 16;
constexpr std::uint16_t pcmTag = 1;
constexpr std::uint16_t monoChannels = 1;
constexpr std::uint16_t bitsPerSample = 16;

void appendText(std::vector<std::uint8_t>& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
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
        throw std::invalid_argument(core::concatenated({"WAV sample rate out of range: ", std::to_string(sampleRate)}));
    }
    if (sampleCount > maxSampleCount) {
        throw std::invalid_argument(
            core::concatenated({"Too many samples for one WAV file: ", std::to_string(sampleCount)}));
    }
}

} // namespace

std::vector<std::uint8_t> header(std::size_t sampleCount, double sampleRate) {
    checkFitsHeader(sampleCount, sampleRate);
    const auto dataSize = static_cast<std::uint32_t>(sampleCount * bytesPerSample);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(headerSize);
    appendText(bytes, "RIFF");
    appendUInt32(bytes, headerBytesAfterRiffSize + dataSize);
    appendText(bytes, "WAVE");
    appendText(bytes, "fmt ");
    appendUInt32(bytes, formatChunkSize);
    appendUInt16(bytes, pcmTag);
    appendUInt16(bytes, monoChannels);
    appendUInt32(bytes, static_cast<std::uint32_t>(sampleRate));
    appendUInt32(bytes, static_cast<std::uint32_t>(sampleRate * bytesPerSample));
    appendUInt16(bytes, bytesPerSample); // bytes per frame
    appendUInt16(bytes, bitsPerSample);
    appendText(bytes, "data");
    appendUInt32(bytes, dataSize);
    return bytes;
}

void appendSample(std::vector<std::uint8_t>& bytes, std::int16_t sample) {
    appendUInt16(bytes, static_cast<std::uint16_t>(sample));
}

std::vector<std::uint8_t> file(std::span<const std::int16_t> samples, double sampleRate) {
    std::vector<std::uint8_t> bytes = header(samples.size(), sampleRate);
    bytes.reserve(headerSize + samples.size() * bytesPerSample);
    for (const std::int16_t sample : samples) {
        appendSample(bytes, sample);
    }
    return bytes;
}

} // namespace platform::audio::WavEncoding
