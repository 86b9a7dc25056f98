#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"

#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/AudioConverterError.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::PCMBuffer;

// Frames [first, first + count) of a recording: a tone over a little broadband content, different per channel.
std::shared_ptr<PCMBuffer> recording(double rate, std::uint32_t channels, std::size_t first, std::size_t count) {
    auto buffer = PCMBuffer::make(*AudioFormat::make(CommonFormat::float32, rate, channels, false),
                                  static_cast<std::uint32_t>(count));
    buffer->setFrameLength(static_cast<std::uint32_t>(count));
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        for (std::size_t frame = 0; frame < count; ++frame) {
            const auto index = static_cast<double>(first + frame);
            buffer->floatChannelData()[channel][frame] =
                static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * (440 + 100 * channel) * index / rate) +
                                   0.05 * std::sin(index * index * 1e-3));
        }
    }
    return buffer;
}

// Streams `totalFrames` of the recording in buffers of `bufferFrames` (the last one shorter), then finishes.
std::vector<float> streamed(ContinuousAudioConverter& converter, double rate, std::uint32_t channels,
                            std::size_t totalFrames, std::size_t bufferFrames) {
    std::vector<float> samples;
    for (std::size_t first = 0; first < totalFrames; first += bufferFrames) {
        const auto part =
            converter.convert(*recording(rate, channels, first, std::min(bufferFrames, totalFrames - first)));
        samples.insert(samples.end(), part.begin(), part.end());
    }
    const auto tail = converter.finish();
    samples.insert(samples.end(), tail.begin(), tail.end());
    return samples;
}

TEST(ContinuousAudioConverter, AStreamInBuffersConvertsExactlyAsTheWholeRecordingAtOnce) {
    const struct {
        double rate;
        std::uint32_t channels;
        std::size_t totalFrames;
        std::size_t bufferFrames;
    } cases[] = {
        {48000, 1, 60 * 48000, 1024},
        {44100, 2, 5 * 44100, 1000},
        {8000, 1, 3 * 8000 + 17, 160},
    };
    const AudioConverter oneShot;
    for (const auto& c : cases) {
        ContinuousAudioConverter converter(16000);
        const auto whole = oneShot.resampleBuffer(*recording(c.rate, c.channels, 0, c.totalFrames));
        EXPECT_EQ(streamed(converter, c.rate, c.channels, c.totalFrames, c.bufferFrames), whole) << c.rate;
    }
}

TEST(ContinuousAudioConverter, BuffersOfThreeOrMoreChannelsAreAveragedThenResampledAsOneStream) {
    ContinuousAudioConverter converter(16000);
    const auto samples = streamed(converter, 48000, 4, 48000, 1024);
    const auto whole = recording(48000, 4, 0, 48000);
    std::vector<float> mono(48000);
    for (std::size_t frame = 0; frame < mono.size(); ++frame) {
        float sum = 0;
        for (std::uint32_t channel = 0; channel < 4; ++channel) {
            sum += whole->floatChannelData()[channel][frame];
        }
        mono[frame] = 0.25f * sum;
    }
    EXPECT_EQ(samples, AudioConverter().resample(mono, 48000));
}

TEST(ContinuousAudioConverter, AFormatChangeFlushesTheEarlierResamplerFirst) {
    ContinuousAudioConverter converter(16000);
    auto samples = converter.convert(*recording(48000, 1, 0, 4800));
    const auto atTarget = recording(16000, 1, 0, 320);
    const auto next = converter.convert(*atTarget);
    samples.insert(samples.end(), next.begin(), next.end());
    EXPECT_TRUE(converter.finish().empty());

    auto expected = AudioConverter().resampleBuffer(*recording(48000, 1, 0, 4800));
    expected.insert(expected.end(), atTarget->floatChannelData()[0], atTarget->floatChannelData()[0] + 320);
    EXPECT_EQ(samples, expected);
}

TEST(ContinuousAudioConverter, AFailedBufferIsLostAndTheStreamGoesOn) {
    ContinuousAudioConverter converter(16000);
    auto samples = converter.convert(*recording(48000, 1, 0, 4800));
    const auto noFloats = PCMBuffer::make(*AudioFormat::make(CommonFormat::int16, 48000, 3, true), 1024);
    noFloats->setFrameLength(1024);
    try {
        converter.convert(*noFloats);
        FAIL() << "a three-channel buffer without Float32 data converted";
    } catch (const AudioConverterError& error) {
        EXPECT_EQ(std::string(error.what()), "Failed to create conversion buffer");
    }
    const auto rest = converter.convert(*recording(48000, 1, 4800, 4800));
    samples.insert(samples.end(), rest.begin(), rest.end());
    const auto tail = converter.finish();
    samples.insert(samples.end(), tail.begin(), tail.end());
    EXPECT_EQ(samples, AudioConverter().resampleBuffer(*recording(48000, 1, 0, 9600)));
}

TEST(ContinuousAudioConverter, ResetForgetsTheHeldSamples) {
    ContinuousAudioConverter converter(16000);
    const auto first = converter.convert(*recording(48000, 1, 0, 4800));
    converter.reset();
    EXPECT_TRUE(converter.finish().empty());
    EXPECT_LT(first.size(), 1600u);
}

} // namespace
} // namespace quorl
