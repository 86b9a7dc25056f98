#include "platform/audio/SampleBuffer.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace platform::audio {
namespace {

StreamDescription int16Stereo(bool nonInterleaved) {
    return {.sampleRate = 48000,
            .channelsPerFrame = 2,
            .bitsPerChannel = 16,
            .isFloat = false,
            .isNonInterleaved = nonInterleaved};
}

std::vector<std::byte> bytesOf(const std::vector<std::int16_t>& samples) {
    std::vector<std::byte> bytes(samples.size() * sizeof(std::int16_t));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

std::shared_ptr<PCMBuffer> bufferFor(const StreamDescription& description, std::uint32_t frames) {
    return PCMBuffer::make(*AudioFormat::make(description), frames);
}

TEST(SampleBufferTests, CopiesTheRequestedFramesInEitherLayout) {
    const SampleBuffer interleaved(FormatDescription{.streamDescription = int16Stereo(false)}, 3,
                                   bytesOf({1, -1, 2, -2, 3, -3}));
    const auto interleavedCopy = bufferFor(int16Stereo(false), 2);
    ASSERT_EQ(interleaved.copyPCMData(1, 2, *interleavedCopy), SampleBuffer::statusOK);
    const std::int16_t* frames = interleavedCopy->int16ChannelData()[0];
    EXPECT_EQ(std::vector<std::int16_t>(frames, frames + 4), (std::vector<std::int16_t>{2, -2, 3, -3}));

    const SampleBuffer planar(FormatDescription{.streamDescription = int16Stereo(true)}, 3,
                              bytesOf({1, 2, 3, -1, -2, -3}));
    const auto planarCopy = bufferFor(int16Stereo(true), 3);
    ASSERT_EQ(planar.copyPCMData(0, 3, *planarCopy), SampleBuffer::statusOK);
    const std::int16_t* right = planarCopy->int16ChannelData()[1];
    EXPECT_EQ(std::vector<std::int16_t>(right, right + 3), (std::vector<std::int16_t>{-1, -2, -3}));
    EXPECT_EQ(planarCopy->frameLength(), 0u);
}

TEST(SampleBufferTests, CopiesThatCannotBeMadeReportWhy) {
    const FormatDescription stereo{.streamDescription = int16Stereo(false)};
    const auto destination = bufferFor(int16Stereo(false), 2);
    const auto monoDestination = PCMBuffer::make(*AudioFormat::make(CommonFormat::int16, 48000, 1, false), 4);
    const struct {
        const char* name;
        SampleBuffer sampleBuffer;
        std::int64_t offset;
        std::int64_t count;
        PCMBuffer& destination;
        std::int32_t status;
    } cases[] = {
        {"no format description", SampleBuffer(std::nullopt, 2, bytesOf({0, 0, 0, 0})), 0, 2, *destination,
         SampleBuffer::statusInvalidFormat},
        {"no stream description", SampleBuffer(FormatDescription{}, 2, bytesOf({0, 0, 0, 0})), 0, 2, *destination,
         SampleBuffer::statusInvalidFormat},
        {"range past the end", SampleBuffer(stereo, 2, bytesOf({0, 0, 0, 0})), 1, 2, *destination,
         SampleBuffer::statusInvalidRange},
        {"negative offset", SampleBuffer(stereo, 2, bytesOf({0, 0, 0, 0})), -1, 1, *destination,
         SampleBuffer::statusInvalidRange},
        {"destination too small", SampleBuffer(stereo, 3, bytesOf({0, 0, 0, 0, 0, 0})), 0, 3, *destination,
         SampleBuffer::statusArrayTooSmall},
        {"other layout", SampleBuffer(stereo, 2, bytesOf({0, 0, 0, 0})), 0, 2, *monoDestination,
         SampleBuffer::statusLayoutMismatch},
        {"data shorter than its count", SampleBuffer(stereo, 2, bytesOf({0, 0})), 0, 2, *destination,
         SampleBuffer::statusDataNotReady},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.sampleBuffer.copyPCMData(c.offset, c.count, c.destination), c.status) << c.name;
    }
}

} // namespace
} // namespace platform::audio
