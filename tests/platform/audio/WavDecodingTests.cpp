#include "platform/audio/WavDecoding.hpp"
#include "platform/core/SystemError.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace platform::audio;
using Bytes = std::vector<std::uint8_t>;
using namespace std::string_view_literals;

void appendLittleEndian(Bytes& bytes, std::uint32_t value, int size) {
    for (int index = 0; index < size; ++index) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * index)));
    }
}

Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

Bytes text(std::string_view characters) { return Bytes(characters.begin(), characters.end()); }

// A chunk with its header; `declaredSize` overrides the size written in the header.
Bytes chunk(std::string_view id, const Bytes& body, std::optional<std::uint32_t> declaredSize = std::nullopt,
            bool pad = true) {
    Bytes bytes = text(id);
    appendLittleEndian(bytes, declaredSize.value_or(static_cast<std::uint32_t>(body.size())), 4);
    bytes = bytes + body;
    if (pad && body.size() % 2 == 1) {
        bytes.push_back(0);
    }
    return bytes;
}

Bytes riff(const Bytes& chunks) {
    Bytes bytes = text("RIFF");
    appendLittleEndian(bytes, static_cast<std::uint32_t>(chunks.size() + 4), 4);
    return bytes + text("WAVE") + chunks;
}

struct Encoding {
    std::uint16_t tag = 1;
    std::uint16_t channels = 1;
    std::uint32_t rate = 44100;
    std::uint16_t bits = 16;
    std::optional<std::uint16_t> blockAlign = std::nullopt;
};

Bytes formatBody(const Encoding& encoding) {
    Bytes body;
    const std::uint16_t blockAlign = encoding.blockAlign.value_or(encoding.channels * encoding.bits / 8);
    appendLittleEndian(body, encoding.tag, 2);
    appendLittleEndian(body, encoding.channels, 2);
    appendLittleEndian(body, encoding.rate, 4);
    appendLittleEndian(body, encoding.rate * blockAlign, 4);
    appendLittleEndian(body, blockAlign, 2);
    appendLittleEndian(body, encoding.bits, 2);
    return body;
}

// The extensible form of a format chunk, whose sub-format GUID carries `subFormat`.
Bytes extensibleFormatBody(Encoding encoding, std::uint16_t subFormat, std::uint8_t guidLastByte = 0x71) {
    encoding.tag = 0xFFFE;
    Bytes body = formatBody(encoding);
    appendLittleEndian(body, 22, 2);
    appendLittleEndian(body, encoding.bits, 2);
    appendLittleEndian(body, 0x3, 4);
    appendLittleEndian(body, subFormat, 2);
    return body + Bytes{0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, guidLastByte};
}

Bytes int16Samples(const std::vector<std::int16_t>& samples) {
    Bytes bytes;
    for (std::int16_t sample : samples) {
        appendLittleEndian(bytes, static_cast<std::uint16_t>(sample), 2);
    }
    return bytes;
}

template <class T> std::vector<T> samplesOf(const PCMBuffer& buffer) {
    const auto data = buffer.bufferData(0);
    std::vector<T> samples(buffer.frameLength() * buffer.format().channelCount());
    std::memcpy(samples.data(), data.data(), samples.size() * sizeof(T));
    return samples;
}

TEST(WavDecodingTest, SixteenBitMonoKeepsItsSamplesAndRate) {
    const std::vector<std::int16_t> samples = {0, 1, 3, -1, 32767, -32768};
    const auto buffer = WavDecoding::decode(riff(chunk("fmt ", formatBody({})) + chunk("data", int16Samples(samples))));

    EXPECT_EQ(buffer->format().description(), "1 ch, 44100 Hz, Int16, interleaved");
    EXPECT_EQ(buffer->frameLength(), samples.size());
    EXPECT_EQ(samplesOf<std::int16_t>(*buffer), samples);
}

TEST(WavDecodingTest, FloatStereoKeepsItsInterleavedFrames) {
    const std::vector<float> samples = {0.5F, -0.25F, 1.0F, -1.0F};
    Bytes data;
    for (float sample : samples) {
        appendLittleEndian(data, std::bit_cast<std::uint32_t>(sample), 4);
    }
    const auto buffer = WavDecoding::decode(
        riff(chunk("fmt ", formatBody({.tag = 3, .channels = 2, .rate = 48000, .bits = 32})) + chunk("data", data)));

    EXPECT_EQ(buffer->format().description(), "2 ch, 48000 Hz, Float32, interleaved");
    EXPECT_EQ(buffer->frameLength(), 2U);
    EXPECT_EQ(samplesOf<float>(*buffer), samples);
}

TEST(WavDecodingTest, TwentyFourAndThirtyTwoBitIntegersBecomeInt32AtFullScale) {
    const Bytes data24 = {0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80};
    const Bytes data32 = {0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x80};
    struct Case {
        std::string name;
        Bytes file;
        std::vector<std::int32_t> expected;
        std::uint32_t channels;
    };
    const std::vector<Case> cases = {
        {.name = "24-bit mono, odd data chunk with no pad byte at the end",
         .file = riff(chunk("fmt ", formatBody({.bits = 24})) + chunk("data", data24, std::nullopt, false)),
         .expected = {0x12345600, -256, std::numeric_limits<std::int32_t>::min()},
         .channels = 1},
        {.name = "32-bit stereo",
         .file = riff(chunk("fmt ", formatBody({.channels = 2, .bits = 32})) + chunk("data", data32)),
         .expected = {0x12345678, std::numeric_limits<std::int32_t>::min()},
         .channels = 2},
        {.name = "extensible 24-bit mono",
         .file = riff(chunk("fmt ", extensibleFormatBody({.bits = 24}, 1)) + chunk("data", data24)),
         .expected = {0x12345600, -256, std::numeric_limits<std::int32_t>::min()},
         .channels = 1},
    };
    for (const Case& check : cases) {
        SCOPED_TRACE(check.name);
        const auto buffer = WavDecoding::decode(check.file);
        EXPECT_EQ(buffer->format().commonFormat(), CommonFormat::int32);
        EXPECT_EQ(buffer->format().channelCount(), check.channels);
        EXPECT_EQ(samplesOf<std::int32_t>(*buffer), check.expected);
    }
}

TEST(WavDecodingTest, UnknownChunksAreSkippedWithTheirPaddingWhereverTheyAre) {
    const Bytes file = riff(chunk("LIST", text("odd")) + chunk("data", int16Samples({7, -7})) +
                            chunk("junk", Bytes(5, 0xEE)) + chunk("fmt ", formatBody({.rate = 8000})));
    const auto buffer = WavDecoding::decode(file);
    EXPECT_EQ(buffer->format().sampleRate(), 8000);
    EXPECT_EQ(samplesOf<std::int16_t>(*buffer), (std::vector<std::int16_t>{7, -7}));
}

TEST(WavDecodingTest, EmptyDataChunkIsASoundOfNoFrames) {
    const auto buffer = WavDecoding::decode(riff(chunk("fmt ", formatBody({})) + chunk("data", {})));
    EXPECT_EQ(buffer->frameLength(), 0U);
}

TEST(WavDecodingTest, MalformedOrUnsupportedFilesAreRefusedWithTheirReason) {
    const Bytes format = chunk("fmt ", formatBody({}));
    const Bytes data = chunk("data", int16Samples({1, 2}));
    const Bytes validFile = riff(format + data);
    const Bytes fullFormatBody = formatBody({});
    struct Case {
        std::string name;
        Bytes file;
        std::int64_t code;
        std::string description;
    };
    const std::int64_t notWav = WavDecoding::unsupportedFileTypeCode;
    const std::int64_t broken = WavDecoding::invalidFileCode;
    const std::int64_t unsupported = WavDecoding::unsupportedDataFormatCode;
    const std::vector<Case> cases = {
        {.name = "empty", .file = {}, .code = notWav, .description = "The data is not a RIFF/WAVE file"},
        {.name = "cut inside the RIFF header",
         .file = Bytes(validFile.begin(), validFile.begin() + 11),
         .code = notWav,
         .description = "The data is not a RIFF/WAVE file"},
        {.name = "big-endian RIFX",
         .file = text("RIFX") + Bytes(validFile.begin() + 4, validFile.end()),
         .code = notWav,
         .description = "The data is not a RIFF/WAVE file"},
        {.name = "another RIFF form",
         .file = text("RIFF\x04\x00\x00\x00"
                      "AVI "sv),
         .code = notWav,
         .description = "The data is not a RIFF/WAVE file"},
        {.name = "no chunks", .file = riff({}), .code = broken, .description = "The WAV file has no \"fmt \" chunk"},
        {.name = "data only", .file = riff(data), .code = broken, .description = "The WAV file has no \"fmt \" chunk"},
        {.name = "format only",
         .file = riff(format),
         .code = broken,
         .description = "The WAV file has no \"data\" chunk"},
        {.name = "cut inside the data chunk's header",
         .file = riff(format + Bytes(data.begin(), data.begin() + 6)),
         .code = broken,
         .description = "The WAV file has no \"data\" chunk"},
        {.name = "cut inside the format chunk",
         .file = riff(Bytes(format.begin(), format.begin() + 18)),
         .code = broken,
         .description = "The WAV chunk \"fmt \" runs past the end of the data"},
        {.name = "data chunk longer than the file",
         .file = riff(format + chunk("data", int16Samples({1, 2}), 100)),
         .code = broken,
         .description = "The WAV chunk \"data\" runs past the end of the data"},
        {.name = "chunk of the largest size",
         .file = riff(chunk("\x01zz\x7F", {}, 0xFFFFFFFF) + format + data),
         .code = broken,
         .description = "The WAV chunk \"?zz?\" runs past the end of the data"},
        {.name = "short format chunk",
         .file = riff(chunk("fmt ", Bytes(fullFormatBody.begin(), fullFormatBody.begin() + 14)) + data),
         .code = broken,
         .description = "The WAV \"fmt \" chunk is too short"},
        {.name = "8-bit integers",
         .file = riff(chunk("fmt ", formatBody({.bits = 8})) + data),
         .code = unsupported,
         .description = "Unsupported WAV encoding: format tag 1 with 8-bit samples"},
        {.name = "64-bit floats",
         .file = riff(chunk("fmt ", formatBody({.tag = 3, .bits = 64})) + chunk("data", Bytes(8, 0))),
         .code = unsupported,
         .description = "Unsupported WAV encoding: format tag 3 with 64-bit samples"},
        {.name = "ADPCM",
         .file = riff(chunk("fmt ", formatBody({.tag = 2, .bits = 4, .blockAlign = 256})) + data),
         .code = unsupported,
         .description = "Unsupported WAV encoding: format tag 2 with 4-bit samples"},
        {.name = "extensible A-law",
         .file = riff(chunk("fmt ", extensibleFormatBody({.bits = 8}, 6)) + data),
         .code = unsupported,
         .description = "Unsupported WAV encoding: format tag 6 with 8-bit samples"},
        {.name = "extensible with a foreign sub-format GUID",
         .file = riff(chunk("fmt ", extensibleFormatBody({}, 1, 0x72)) + data),
         .code = unsupported,
         .description = "The WAV sub-format is not PCM or float"},
        {.name = "extensible without its extension",
         .file = riff(chunk("fmt ", formatBody({.tag = 0xFFFE})) + data),
         .code = broken,
         .description = "The WAV \"fmt \" chunk is too short for its extensible format"},
        {.name = "no channels",
         .file = riff(chunk("fmt ", formatBody({.channels = 0, .blockAlign = 2})) + data),
         .code = broken,
         .description = "The WAV file has no channels"},
        {.name = "no sample rate",
         .file = riff(chunk("fmt ", formatBody({.rate = 0})) + data),
         .code = broken,
         .description = "The WAV sample rate is 0"},
        {.name = "block alignment of another frame size",
         .file = riff(chunk("fmt ", formatBody({.channels = 2, .blockAlign = 2})) + data),
         .code = broken,
         .description = "The WAV block alignment 2 should be 4 (channels times bytes per sample)"},
        {.name = "data that is not whole frames",
         .file = riff(format + chunk("data", Bytes(3, 0))),
         .code = broken,
         .description = "The WAV data size 3 is not a whole number of 2-byte frames"},
    };
    for (const Case& check : cases) {
        SCOPED_TRACE(check.name);
        try {
            WavDecoding::decode(check.file);
            ADD_FAILURE() << "nothing thrown";
        } catch (const platform::core::SystemError& error) {
            EXPECT_EQ(error.domain(), "AudioPlayer");
            EXPECT_EQ(error.code(), check.code);
            EXPECT_EQ(std::string(error.what()), check.description);
        }
    }
}

} // namespace
