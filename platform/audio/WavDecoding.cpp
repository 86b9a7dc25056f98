#include "platform/audio/WavDecoding.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform::audio::WavDecoding {

namespace {

constexpr std::size_t riffHeaderSize = 12;
constexpr std::size_t chunkHeaderSize = 8;
constexpr std::size_t basicFormatSize = 16;
constexpr std::size_t extensibleFormatSize = 40;
constexpr std::uint16_t pcmTag = 1;
constexpr std::uint16_t floatTag = 3;
constexpr std::uint16_t extensibleTag = 0xFFFE;
// The sub-format GUID of an extensible format after its first two bytes, which hold the plain format tag.
constexpr std::array<std::uint8_t, 14> subFormatGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

core::SystemError failure(std::int64_t code, std::string_view description) {
    return core::SystemError(errorDomain, code, std::string(description));
}

std::uint16_t readUInt16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t readUInt32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(readUInt16(bytes, offset)) |
           (static_cast<std::uint32_t>(readUInt16(bytes, offset + 2)) << 16);
}

bool hasTag(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view tag) {
    return std::equal(tag.begin(), tag.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                      [](char expected, std::uint8_t actual) { return static_cast<std::uint8_t>(expected) == actual; });
}

// A chunk identifier fit for a message: bytes outside printable ASCII become '?'.
std::string printableTag(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::string tag;
    for (std::size_t index = offset; index < offset + 4; ++index) {
        const bool printable = bytes[index] >= 0x20 && bytes[index] < 0x7F;
        tag += printable ? static_cast<char>(bytes[index]) : '?';
    }
    return tag;
}

struct Chunks {
    std::span<const std::uint8_t> format;
    std::span<const std::uint8_t> data;
};

// The first "fmt " and "data" chunks. Stops once both are found, so trailing chunks are never looked at.
Chunks findChunks(std::span<const std::uint8_t> bytes) {
    std::optional<std::span<const std::uint8_t>> format;
    std::optional<std::span<const std::uint8_t>> data;
    std::size_t offset = riffHeaderSize;
    while ((!format || !data) && bytes.size() - offset >= chunkHeaderSize) {
        const std::size_t size = readUInt32(bytes, offset + 4);
        const std::size_t body = offset + chunkHeaderSize;
        if (size > bytes.size() - body) {
            throw failure(invalidFileCode, core::concatenated({"The WAV chunk \"", printableTag(bytes, offset),
                                                               "\" runs past the end of the data"}));
        }
        if (!format && hasTag(bytes, offset, "fmt ")) {
            format = bytes.subspan(body, size);
        } else if (!data && hasTag(bytes, offset, "data")) {
            data = bytes.subspan(body, size);
        }
        // A missing pad byte after the last chunk is tolerated: the loop ends on the size check.
        offset = std::min(bytes.size(), body + size + (size & 1));
    }
    if (!format) {
        throw failure(invalidFileCode, "The WAV file has no \"fmt \" chunk");
    }
    if (!data) {
        throw failure(invalidFileCode, "The WAV file has no \"data\" chunk");
    }
    return Chunks{.format = *format, .data = *data};
}

struct Encoding {
    std::uint16_t tag;
    std::uint16_t channelCount;
    std::uint32_t sampleRate;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
};

// The plain format tag of an extensible format, from its sub-format GUID.
std::uint16_t extensibleSubFormat(std::span<const std::uint8_t> format) {
    if (format.size() < extensibleFormatSize || readUInt16(format, 16) < extensibleFormatSize - 18) {
        throw failure(invalidFileCode, "The WAV \"fmt \" chunk is too short for its extensible format");
    }
    if (!std::equal(subFormatGuidTail.begin(), subFormatGuidTail.end(), format.begin() + 26)) {
        throw failure(unsupportedDataFormatCode, "The WAV sub-format is not PCM or float");
    }
    return readUInt16(format, 24);
}

Encoding readEncoding(std::span<const std::uint8_t> format) {
    if (format.size() < basicFormatSize) {
        throw failure(invalidFileCode, "The WAV \"fmt \" chunk is too short");
    }
    const std::uint16_t tag = readUInt16(format, 0);
    return Encoding{.tag = tag == extensibleTag ? extensibleSubFormat(format) : tag,
                    .channelCount = readUInt16(format, 2),
                    .sampleRate = readUInt32(format, 4),
                    .blockAlign = readUInt16(format, 12),
                    .bitsPerSample = readUInt16(format, 14)};
}

std::optional<CommonFormat> commonFormat(const Encoding& encoding) {
    if (encoding.tag == pcmTag) {
        switch (encoding.bitsPerSample) {
        case 16: return CommonFormat::int16;
        case 24:
        case 32: return CommonFormat::int32;
        default: return std::nullopt;
        }
    }
    if (encoding.tag == floatTag && encoding.bitsPerSample == 32) {
        return CommonFormat::float32;
    }
    return std::nullopt;
}

AudioFormat audioFormat(const Encoding& encoding) {
    const auto common = commonFormat(encoding);
    if (!common) {
        throw failure(unsupportedDataFormatCode,
                      core::concatenated({"Unsupported WAV encoding: format tag ", std::to_string(encoding.tag),
                                          " with ", std::to_string(encoding.bitsPerSample), "-bit samples"}));
    }
    if (encoding.channelCount == 0) {
        throw failure(invalidFileCode, "The WAV file has no channels");
    }
    if (encoding.sampleRate == 0) {
        throw failure(invalidFileCode, "The WAV sample rate is 0");
    }
    const int frameSize = encoding.channelCount * (encoding.bitsPerSample / 8);
    if (encoding.blockAlign != frameSize) {
        throw failure(
            invalidFileCode,
            core::concatenated({"The WAV block alignment ", std::to_string(encoding.blockAlign), " should be ",
                                std::to_string(frameSize), " (channels times bytes per sample)"}));
    }
    return *AudioFormat::make(*common, encoding.sampleRate, encoding.channelCount, true);
}

// One sample in the buffer's type, from the file's little-endian bytes.
template <class T> T sampleAt(std::span<const std::uint8_t> data, std::size_t offset, std::uint16_t bitsPerSample) {
    if constexpr (std::is_same_v<T, std::int16_t>) {
        return static_cast<std::int16_t>(readUInt16(data, offset));
    } else if constexpr (std::is_same_v<T, float>) {
        return std::bit_cast<float>(readUInt32(data, offset));
    } else if (bitsPerSample == 24) {
        const std::uint32_t widened = (static_cast<std::uint32_t>(data[offset]) << 8) |
                                      (static_cast<std::uint32_t>(data[offset + 1]) << 16) |
                                      (static_cast<std::uint32_t>(data[offset + 2]) << 24);
        return static_cast<std::int32_t>(widened);
    } else {
        return static_cast<std::int32_t>(readUInt32(data, offset));
    }
}

template <class T>
void copySamples(std::span<const std::uint8_t> data, std::uint16_t bitsPerSample, PCMBuffer& buffer) {
    const std::size_t bytesPerSample = bitsPerSample / 8;
    const std::size_t sampleCount = data.size() / bytesPerSample;
    std::byte* destination = buffer.bufferData(0).data();
    for (std::size_t index = 0; index < sampleCount; ++index) {
        const T sample = sampleAt<T>(data, index * bytesPerSample, bitsPerSample);
        std::memcpy(destination + index * sizeof(T), &sample, sizeof(T));
    }
}

} // namespace

std::shared_ptr<PCMBuffer> decode(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < riffHeaderSize || !hasTag(bytes, 0, "RIFF") || !hasTag(bytes, 8, "WAVE")) {
        throw failure(unsupportedFileTypeCode, "The data is not a RIFF/WAVE file");
    }
    const Chunks chunks = findChunks(bytes);
    const Encoding encoding = readEncoding(chunks.format);
    const AudioFormat format = audioFormat(encoding);
    if (chunks.data.size() % encoding.blockAlign != 0) {
        throw failure(invalidFileCode, core::concatenated({"The WAV data size ", std::to_string(chunks.data.size()),
                                                           " is not a whole number of ",
                                                           std::to_string(encoding.blockAlign), "-byte frames"}));
    }
    const auto frameCount = static_cast<std::uint32_t>(chunks.data.size() / encoding.blockAlign);
    auto buffer = PCMBuffer::make(format, frameCount);
    if (!buffer) {
        throw failure(invalidFileCode,
                      core::concatenated({"Not enough memory for ", std::to_string(frameCount), " frames of audio"}));
    }
    switch (format.commonFormat()) {
    case CommonFormat::int16: copySamples<std::int16_t>(chunks.data, encoding.bitsPerSample, *buffer); break;
    case CommonFormat::float32: copySamples<float>(chunks.data, encoding.bitsPerSample, *buffer); break;
    default: copySamples<std::int32_t>(chunks.data, encoding.bitsPerSample, *buffer); break;
    }
    buffer->setFrameLength(frameCount);
    return buffer;
}

} // namespace platform::audio::WavDecoding
