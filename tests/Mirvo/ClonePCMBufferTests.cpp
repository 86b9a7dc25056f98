#include "Mirvo/ClonePCMBuffer.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace mirvo {
namespace {

namespace audio = platform::audio;

std::shared_ptr<audio::PCMBuffer> bufferOf(audio::CommonFormat commonFormat, std::uint32_t channels, bool interleaved,
                                           std::uint32_t capacity, std::uint32_t frames) {
    const auto format = audio::AudioFormat::make(commonFormat, 48000, channels, interleaved);
    auto buffer = audio::PCMBuffer::make(*format, capacity);
    buffer->setFrameLength(frames);
    return buffer;
}

template <typename T> std::vector<T> samples(const T* channel, std::uint32_t count) {
    return std::vector<T>(channel, channel + count);
}

TEST(ClonePCMBufferTests, FloatChannelsAreCopiedOneByOneUpToTheFrameLength) {
    auto source = bufferOf(audio::CommonFormat::float32, 2, false, 8, 3);
    for (std::uint32_t frame = 0; frame < 8; ++frame) {
        source->floatChannelData()[0][frame] = 0.25f * static_cast<float>(frame);
        source->floatChannelData()[1][frame] = -1.0f - static_cast<float>(frame);
    }

    const auto copy = clonePCMBuffer(*source);

    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, source);
    EXPECT_EQ(copy->format(), source->format());
    EXPECT_EQ(copy->frameCapacity(), 3u);
    EXPECT_EQ(copy->frameLength(), 3u);
    EXPECT_EQ(samples(copy->floatChannelData()[0], 3), (std::vector<float>{0.0f, 0.25f, 0.5f}));
    EXPECT_EQ(samples(copy->floatChannelData()[1], 3), (std::vector<float>{-1.0f, -2.0f, -3.0f}));
    EXPECT_NE(copy->floatChannelData()[0], source->floatChannelData()[0]);
}

TEST(ClonePCMBufferTests, Int16ChannelsAreCopied) {
    auto source = bufferOf(audio::CommonFormat::int16, 1, false, 4, 4);
    const std::int16_t values[] = {-32768, -1, 1, 32767};
    for (std::uint32_t frame = 0; frame < 4; ++frame) {
        source->int16ChannelData()[0][frame] = values[frame];
    }

    const auto copy = clonePCMBuffer(*source);

    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->frameLength(), 4u);
    EXPECT_EQ(samples(copy->int16ChannelData()[0], 4), (std::vector<std::int16_t>{-32768, -1, 1, 32767}));
}

TEST(ClonePCMBufferTests, InterleavedFloatFramesAreCopiedWhole) {
    auto source = bufferOf(audio::CommonFormat::float32, 2, true, 4, 4);
    for (std::uint32_t sample = 0; sample < 8; ++sample) {
        source->floatChannelData()[0][sample] = static_cast<float>(sample);
    }

    const auto copy = clonePCMBuffer(*source);

    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(samples(copy->floatChannelData()[0], 8), (std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(ClonePCMBufferTests, OtherSampleTypesAreNotCopied) {
    for (const auto commonFormat : {audio::CommonFormat::int32, audio::CommonFormat::float64}) {
        EXPECT_EQ(clonePCMBuffer(*bufferOf(commonFormat, 1, false, 16, 16)), nullptr)
            << audio::description(commonFormat);
    }
}

TEST(ClonePCMBufferTests, ABufferWithoutFramesGivesAnEmptyCopyWhateverItsFormat) {
    for (const auto commonFormat : {audio::CommonFormat::float32, audio::CommonFormat::int32}) {
        const auto copy = clonePCMBuffer(*bufferOf(commonFormat, 2, false, 16, 0));
        ASSERT_NE(copy, nullptr) << audio::description(commonFormat);
        EXPECT_EQ(copy->frameLength(), 0u);
        EXPECT_EQ(copy->format().commonFormat(), commonFormat);
    }
}

} // namespace
} // namespace mirvo
