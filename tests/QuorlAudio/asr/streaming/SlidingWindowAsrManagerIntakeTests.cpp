#include "SlidingWindowTest.hpp"

#include "QuorlAudio/foundation/AudioConverter.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/CommonFormat.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace quorl::testing {
namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::PCMBuffer;
using IntakeTest = SlidingWindowTest;

// A buffer of the format whose every sample is 0.25 in the format's own sample type.
std::shared_ptr<PCMBuffer> steadyBuffer(CommonFormat commonFormat, double sampleRate, std::uint32_t channels,
                                        bool interleaved, std::uint32_t frames) {
    const auto format = AudioFormat::make(commonFormat, sampleRate, channels, interleaved);
    auto buffer = PCMBuffer::make(*format, frames);
    buffer->setFrameLength(frames);
    for (std::size_t index = 0; index < buffer->bufferCount(); ++index) {
        const auto bytes = buffer->bufferData(index);
        const std::size_t count = bytes.size() / platform::audio::bytesPerSample(commonFormat);
        for (std::size_t sample = 0; sample < count; ++sample) {
            std::byte* at = bytes.data() + sample * platform::audio::bytesPerSample(commonFormat);
            switch (commonFormat) {
            case CommonFormat::float32: *reinterpret_cast<float*>(at) = 0.25f; break;
            case CommonFormat::float64: *reinterpret_cast<double*>(at) = 0.25; break;
            case CommonFormat::int16: *reinterpret_cast<std::int16_t*>(at) = 8192; break;
            case CommonFormat::int32: *reinterpret_cast<std::int32_t*>(at) = 536870912; break;
            }
        }
    }
    return buffer;
}

TEST_F(IntakeTest, BuffersOfAnyRateAndChannelCountAreConvertedToOneChannelAtTheRecognitionRate) {
    const struct {
        CommonFormat commonFormat;
        double sampleRate;
        std::uint32_t channels;
        bool interleaved;
    } cases[] = {
        {CommonFormat::float32, 48000, 2, true},
        {CommonFormat::int16, 44100, 1, true},
        {CommonFormat::float64, 8000, 2, false},
        {CommonFormat::float32, 48000, 4, false},
    };
    for (const auto& c : cases) {
        StreamingTestModels scripted(vocabulary());
        SlidingWindowAsrManager manager(SlidingWindowAsrConfig::streaming());
        manager.loadModels(scripted.modelSet());
        manager.startStreaming(AudioSource::microphone);
        for (int index = 0; index < 40; ++index) {
            manager.streamAudio(steadyBuffer(c.commonFormat, c.sampleRate, c.channels, c.interleaved, 1024));
        }
        manager.finish();
        // The buffers make one stream: its length is that of the whole recording, not 40 rounded buffers.
        const auto expected = static_cast<std::size_t>(std::llround(40 * 1024 * 16000 / c.sampleRate));
        const auto windows = scripted.windows();
        ASSERT_EQ(windows.size(), 1u) << c.sampleRate;
        const std::size_t aligned = (expected + 1279) / 1280 * 1280;
        EXPECT_EQ(windows[0].audioLength, static_cast<int>(aligned)) << c.sampleRate << " Hz, " << c.channels;
    }
}

// A minute of 48 kHz capture in 1024-frame buffers: the windows hold the samples of converting the whole
// recording at once, with nothing lost at the seams between buffers.
TEST_F(IntakeTest, CapturedBuffersReachTheWindowsAsOneConversionOfTheWholeRecording) {
    constexpr std::uint32_t rate = 48000;
    constexpr std::uint32_t total = 60 * rate;
    const auto format = AudioFormat::make(CommonFormat::float32, rate, 1, false);
    auto whole = PCMBuffer::make(*format, total);
    whole->setFrameLength(total);
    for (std::uint32_t frame = 0; frame < total; ++frame) {
        // Never zero, so the recorded windows end where their padding begins.
        whole->floatChannelData()[0][frame] =
            static_cast<float>(0.5 + 0.25 * std::sin(2 * std::numbers::pi * 440 * frame / rate));
    }
    SlidingWindowAsrManager& manager = started();
    for (std::uint32_t first = 0; first < total; first += 1024) {
        const std::uint32_t frames = std::min(1024u, total - first);
        auto buffer = PCMBuffer::make(*format, frames);
        buffer->setFrameLength(frames);
        std::copy_n(whole->floatChannelData()[0] + first, frames, buffer->floatChannelData()[0]);
        manager.streamAudio(std::move(buffer));
    }
    manager.finish();

    // Each window after the first repeats the left and right context of the one before it.
    const auto overlap = static_cast<std::size_t>(SlidingWindowAsrConfig::streaming().leftContextSamples() +
                                                  SlidingWindowAsrConfig::streaming().rightContextSamples());
    const auto windows = models.windows();
    ASSERT_FALSE(windows.empty());
    std::vector<float> received = windows.front().samples;
    for (std::size_t index = 1; index < windows.size(); ++index) {
        ASSERT_GT(windows[index].samples.size(), overlap);
        received.insert(received.end(), windows[index].samples.begin() + static_cast<std::ptrdiff_t>(overlap),
                        windows[index].samples.end());
    }
    const auto expected = AudioConverter().resampleBuffer(*whole);
    EXPECT_EQ(expected.size(), 60u * second);
    EXPECT_EQ(received, expected);
}

TEST_F(IntakeTest, BuffersWithoutUsableAudioAreSkippedAndTheRestIsKept) {
    SlidingWindowAsrManager& manager = started();
    const auto opening = streamSamples(0, second);
    const auto closing = streamSamples(second, second);
    manager.streamAudio(monoBuffer(opening));
    manager.streamAudio(steadyBuffer(CommonFormat::int16, 48000, 3, true, 1024));
    manager.streamAudio(steadyBuffer(CommonFormat::float32, 16000, 1, false, 0));
    manager.streamAudio(steadyBuffer(CommonFormat::float32, 48000, 2, true, 0));
    manager.streamAudio(nullptr);
    manager.streamAudio(monoBuffer(closing));
    EXPECT_EQ(manager.finish(), "");

    const auto windows = models.windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].samples, streamSamples(0, 2 * second));
    const std::vector<std::string> recovery{
        "Audio buffer processing error: Audio buffer processing failed: Failed to create conversion buffer",
        "Attempting error recovery for: Audio buffer processing failed: Failed to create conversion buffer",
        "Recovering from audio buffer error",
    };
    EXPECT_TRUE(loggedInOrder(recovery));
    EXPECT_EQ(std::ranges::count(lines(), recovery[0]), 1);
    EXPECT_FALSE(logged("1 window(s) failed during streaming; transcript may be missing segments"));
}

TEST_F(IntakeTest, AStreamOfOnlyUnconvertibleBuffersFinishesEmpty) {
    SlidingWindowAsrManager& manager = started();
    for (int index = 0; index < 3; ++index) {
        manager.streamAudio(steadyBuffer(CommonFormat::int32, 16000, 3, false, 1024));
    }
    EXPECT_EQ(manager.finish(), "");
    EXPECT_TRUE(models.windows().empty());
    EXPECT_EQ(std::ranges::count(lines(), "Recovering from audio buffer error"), 3);
}

TEST_F(IntakeTest, AudioHandedInJustBeforeFinishIsAllDecoded) {
    SlidingWindowAsrManager& manager = started();
    const std::int64_t total = 30 * second + 77;
    streamRange(manager, 0, total, 256);
    manager.finish();

    const auto windows = models.windows();
    ASSERT_FALSE(windows.empty());
    ASSERT_FALSE(windows.back().samples.empty());
    EXPECT_EQ(windows.back().samples.back(), static_cast<float>(total));
}

TEST_F(IntakeTest, BuffersFromSeveralThreadsKeepEachThreadsOrder) {
    constexpr int threads = 4;
    constexpr int buffersPerThread = 100;
    constexpr int frames = 160;
    SlidingWindowAsrManager& manager = started();
    std::vector<std::thread> feeders;
    for (int thread = 0; thread < threads; ++thread) {
        feeders.emplace_back([&manager, thread] {
            for (int buffer = 0; buffer < buffersPerThread; ++buffer) {
                std::vector<float> samples(frames);
                for (int frame = 0; frame < frames; ++frame) {
                    samples[frame] = static_cast<float>(thread * 100000 + buffer * frames + frame + 1);
                }
                manager.streamAudio(monoBuffer(samples));
            }
        });
    }
    for (auto& feeder : feeders) {
        feeder.join();
    }
    manager.finish();

    const auto windows = models.windows();
    ASSERT_EQ(windows.size(), 1u);
    ASSERT_EQ(windows[0].samples.size(), static_cast<std::size_t>(threads * buffersPerThread * frames));
    std::vector<float> next(threads);
    for (int thread = 0; thread < threads; ++thread) {
        next[thread] = static_cast<float>(thread * 100000 + 1);
    }
    for (const float sample : windows[0].samples) {
        const int thread = static_cast<int>(sample - 1) / 100000;
        ASSERT_EQ(sample, next[thread]) << "thread " << thread;
        next[thread] += 1;
    }
}

} // namespace
} // namespace quorl::testing
