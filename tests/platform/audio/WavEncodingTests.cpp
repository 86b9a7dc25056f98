#include "platform/audio/WavDecoding.hpp"
#include "platform/audio/WavEncoding.hpp"
#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace platform::audio;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t uint32At(const Bytes& wav, std::size_t offset) {
    return wav.at(offset) | wav.at(offset + 1) << 8 | wav.at(offset + 2) << 16 |
           static_cast<std::uint32_t>(wav.at(offset + 3)) << 24;
}

TEST(WavEncodingTests, AFileIsTheHeaderThenTheSamplesLittleEndian) {
    const std::vector<std::int16_t> samples{1, -2, 32767, -32768};
    const Bytes expected{
        'R', 'I', 'F', 'F', 44, 0, 0,    0,    'W',  'A',  'V',  'E',  'f',  'm',  't',  ' ',  16, 0,
        0,   0,   1,   0,   1,  0, 0x44, 0xAC, 0,    0,    0x88, 0x58, 0x01, 0,    2,    0,    16, 0,
        'd', 'a', 't', 'a', 8,  0, 0,    0,    0x01, 0x00, 0xFE, 0xFF, 0xFF, 0x7F, 0x00, 0x80,
    };
    EXPECT_EQ(WavEncoding::file(samples, 44100), expected);
    EXPECT_EQ(WavEncoding::header(samples.size(), 44100), Bytes(expected.begin(), expected.begin() + 44));
    EXPECT_EQ(WavEncoding::file({}, 44100).size(), WavEncoding::headerSize);
}

TEST(WavEncodingTests, TheDecoderReadsBackWhatWasWritten) {
    const std::vector<std::int16_t> samples{0, 1200, -1200, 32767, -32768, 7};
    const auto buffer = WavDecoding::decode(WavEncoding::file(samples, 16000));
    EXPECT_EQ(buffer->format().sampleRate(), 16000);
    EXPECT_EQ(buffer->format().channelCount(), 1u);
    ASSERT_NE(buffer->int16ChannelData(), nullptr);
    ASSERT_EQ(buffer->frameLength(), samples.size());
    EXPECT_EQ(std::vector<std::int16_t>(buffer->int16ChannelData()[0], buffer->int16ChannelData()[0] + 6), samples);
}

TEST(WavEncodingTests, RateAndByteRateAreEachTruncated) {
    const struct {
        double sampleRate;
        std::uint32_t rate;
        std::uint32_t byteRate;
    } cases[] = {{0, 0, 0}, {22050.5, 22050, 44101}, {2147483647.75, 2147483647, 4294967295}};
    for (const auto& c : cases) {
        const Bytes header = WavEncoding::header(0, c.sampleRate);
        EXPECT_EQ(uint32At(header, 24), c.rate) << c.sampleRate;
        EXPECT_EQ(uint32At(header, 28), c.byteRate) << c.sampleRate;
    }
}

TEST(WavEncodingTests, TheSizeFieldsHoldUpToTheLargestSampleCount) {
    const Bytes header = WavEncoding::header(WavEncoding::maxSampleCount, 16000);
    EXPECT_EQ(uint32At(header, 4), 4294967294u);
    EXPECT_EQ(uint32At(header, 40), 4294967258u);
}

TEST(WavEncodingTests, WhatTheHeaderCannotHoldIsRefused) {
    const struct {
        std::size_t sampleCount;
        double sampleRate;
        std::string message;
    } cases[] = {
        {0, -1, "WAV sample rate out of range: -1.000000"},
        {0, WavEncoding::sampleRateLimit, "WAV sample rate out of range: 2147483648.000000"},
        {0, std::numeric_limits<double>::quiet_NaN(), "WAV sample rate out of range: nan"},
        {WavEncoding::maxSampleCount + 1, 16000, "Too many samples for one WAV file: 2147483630"},
    };
    for (const auto& c : cases) {
        const auto writeHeader = [&] { WavEncoding::header(c.sampleCount, c.sampleRate); };
        EXPECT_THROW(writeHeader(), std::invalid_argument) << c.message;
        EXPECT_EQ(testsupport::errorText(writeHeader), c.message);
    }
}

} // namespace
