#include "QuorlAudio/foundation/StreamingAudioResampler.hpp"

#include "QuorlAudio/foundation/AudioConverter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <span>
#include <vector>

namespace quorl {
namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::PCMBuffer;

std::vector<float> tone(std::size_t count, double sampleRate) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440 * index / sampleRate));
    }
    return samples;
}

std::shared_ptr<PCMBuffer> monoBuffer(std::span<const float> samples, double sampleRate) {
    auto buffer = PCMBuffer::make(*AudioFormat::make(CommonFormat::float32, sampleRate, 1, false),
                                  static_cast<std::uint32_t>(samples.size()));
    std::ranges::copy(samples, buffer->floatChannelData()[0]);
    buffer->setFrameLength(static_cast<std::uint32_t>(samples.size()));
    return buffer;
}

void append(std::vector<float>& samples, const std::vector<float>& more) {
    samples.insert(samples.end(), more.begin(), more.end());
}

// The stream in buffers of the given sizes, in turn, then the tail.
std::vector<float> streamed(const std::vector<float>& input, double sampleRate, std::vector<std::size_t> sizes) {
    StreamingAudioResampler resampler;
    std::vector<float> output;
    std::size_t position = 0;
    for (std::size_t turn = 0; position < input.size(); ++turn) {
        const std::size_t count = std::min(sizes[turn % sizes.size()], input.size() - position);
        append(output, resampler.resample(*monoBuffer(std::span(input).subspan(position, count), sampleRate)));
        position += count;
    }
    append(output, resampler.flush());
    return output;
}

TEST(StreamingAudioResamplerTests, AStreamInBuffersConvertsAsInOnePiece) {
    const auto input = tone(48000, 48000);
    const auto whole = streamed(input, 48000, {input.size()});
    ASSERT_NEAR(static_cast<double>(whole.size()), 16000.0, 2.0);
    const auto pieces = streamed(input, 48000, {1024, 333, 4800, 1});
    ASSERT_EQ(pieces.size(), whole.size());
    for (std::size_t index = 0; index < whole.size(); ++index) {
        ASSERT_NEAR(pieces[index], whole[index], 1e-6f) << index;
    }
}

TEST(StreamingAudioResamplerTests, OneConverterPerBufferWouldLeaveSeamsThatTheStreamDoesNot) {
    // The converter made per call restarts its filter at every edge; the seams show against the one-piece
    // conversion, which the streaming resampler reproduces.
    const auto input = tone(48000, 48000);
    const auto whole = streamed(input, 48000, {input.size()});
    const AudioConverter perBuffer;
    std::vector<float> restarted;
    for (std::size_t position = 0; position < input.size(); position += 1024) {
        const std::size_t count = std::min<std::size_t>(1024, input.size() - position);
        append(restarted, perBuffer.resampleBuffer(*monoBuffer(std::span(input).subspan(position, count), 48000)));
    }
    double largestGap = 0;
    for (std::size_t index = 0; index < std::min(whole.size(), restarted.size()); ++index) {
        largestGap = std::max(largestGap, static_cast<double>(std::abs(whole[index] - restarted[index])));
    }
    EXPECT_GT(largestGap, 1e-3);
}

TEST(StreamingAudioResamplerTests, TargetBuffersPassUnchangedAfterTheEarlierFormatsTail) {
    const auto fast = tone(4800, 48000);
    const auto native = tone(800, 16000);
    const auto fastAlone = streamed(fast, 48000, {fast.size()});

    StreamingAudioResampler resampler;
    std::vector<float> output = resampler.resample(*monoBuffer(fast, 48000));
    append(output, resampler.resample(*monoBuffer({}, 48000)));
    append(output, resampler.resample(*monoBuffer(native, 16000)));
    EXPECT_TRUE(resampler.flush().empty());

    std::vector<float> expected = fastAlone;
    append(expected, native);
    ASSERT_EQ(output.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        ASSERT_NEAR(output[index], expected[index], 1e-6f) << index;
    }
}

TEST(StreamingAudioResamplerTests, ResetForgetsTheHeldSamples) {
    StreamingAudioResampler resampler;
    const auto input = tone(4800, 48000);
    const auto first = resampler.resample(*monoBuffer(input, 48000));
    resampler.reset();
    EXPECT_TRUE(resampler.flush().empty());
    EXPECT_LT(first.size(), 1600u);
}

} // namespace
} // namespace quorl
