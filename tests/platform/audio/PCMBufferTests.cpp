#include "platform/audio/PCMBuffer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>

namespace platform::audio {
namespace {

AudioFormat formatOf(CommonFormat commonFormat, std::uint32_t channels, bool interleaved) {
    return *AudioFormat::make(commonFormat, 16000, channels, interleaved);
}

TEST(PCMBufferTests, FrameLengthStartsAtZeroAndNeverExceedsTheCapacity) {
    const auto buffer = PCMBuffer::make(formatOf(CommonFormat::float32, 1, false), 100);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->frameCapacity(), 100u);
    EXPECT_EQ(buffer->frameLength(), 0u);
    buffer->setFrameLength(100);
    EXPECT_EQ(buffer->frameLength(), 100u);
    EXPECT_THROW(buffer->setFrameLength(101), std::out_of_range);
    EXPECT_EQ(buffer->frameLength(), 100u);
}

TEST(PCMBufferTests, NonInterleavedBuffersHaveAZeroedAlignedBufferPerChannel) {
    const auto buffer = PCMBuffer::make(formatOf(CommonFormat::float32, 3, false), 10);
    ASSERT_TRUE(buffer);
    ASSERT_EQ(buffer->bufferCount(), 3u);
    EXPECT_EQ(buffer->stride(), 1u);
    float* const* channels = buffer->floatChannelData();
    ASSERT_NE(channels, nullptr);
    for (std::size_t channel = 0; channel < 3; ++channel) {
        EXPECT_EQ(buffer->bufferData(channel).size(), 40u);
        EXPECT_EQ(static_cast<void*>(channels[channel]), static_cast<void*>(buffer->bufferData(channel).data()));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(channels[channel]) % 64, 0u);
        for (std::size_t frame = 0; frame < 10; ++frame) {
            EXPECT_EQ(channels[channel][frame], 0.0f);
        }
    }
    // Writing one channel to its end leaves the next untouched.
    for (std::size_t frame = 0; frame < 10; ++frame) {
        channels[0][frame] = 1.0f;
    }
    EXPECT_EQ(channels[1][0], 0.0f);
}

TEST(PCMBufferTests, InterleavedBuffersHaveOneBufferAndOnePointerWithAStride) {
    const auto buffer = PCMBuffer::make(formatOf(CommonFormat::int16, 2, true), 8);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->bufferCount(), 1u);
    EXPECT_EQ(buffer->bufferData(0).size(), 32u);
    EXPECT_EQ(buffer->stride(), 2u);
    ASSERT_NE(buffer->int16ChannelData(), nullptr);
    EXPECT_EQ(static_cast<void*>(buffer->int16ChannelData()[0]), static_cast<void*>(buffer->bufferData(0).data()));
}

TEST(PCMBufferTests, TypedPointersExistOnlyForTheFormatsSampleType) {
    const struct {
        CommonFormat format;
        bool hasFloat;
        bool hasInt16;
        bool hasInt32;
    } cases[] = {{CommonFormat::float32, true, false, false},
                 {CommonFormat::float64, false, false, false},
                 {CommonFormat::int16, false, true, false},
                 {CommonFormat::int32, false, false, true}};
    for (const auto& c : cases) {
        const auto buffer = PCMBuffer::make(formatOf(c.format, 2, false), 4);
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->floatChannelData() != nullptr, c.hasFloat) << description(c.format);
        EXPECT_EQ(buffer->int16ChannelData() != nullptr, c.hasInt16) << description(c.format);
        EXPECT_EQ(buffer->int32ChannelData() != nullptr, c.hasInt32) << description(c.format);
        EXPECT_EQ(buffer->bufferData(1).size(), 4 * bytesPerSample(c.format));
    }
}

TEST(PCMBufferTests, EmptyBuffersAreAllowedAndImpossibleOnesFailWithoutAborting) {
    const auto empty = PCMBuffer::make(formatOf(CommonFormat::float32, 2, false), 0);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->frameCapacity(), 0u);
    EXPECT_NE(empty->floatChannelData(), nullptr);

    const auto tooLarge =
        PCMBuffer::make(formatOf(CommonFormat::float64, std::numeric_limits<std::uint32_t>::max(), true),
                        std::numeric_limits<std::uint32_t>::max());
    EXPECT_EQ(tooLarge, nullptr);
}

} // namespace
} // namespace platform::audio
