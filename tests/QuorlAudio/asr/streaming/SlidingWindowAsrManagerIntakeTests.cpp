#include "SlidingWindowTest.hpp"

#include "QuorlAudio/foundation/AudioConverter.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/CommonFormat.hpp"

#include <cstdint>
#include <memory>
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
    const AudioConverter converter;
    for (const auto& c : cases) {
        StreamingTestModels scripted(vocabulary());
        SlidingWindowAsrManager manager(SlidingWindowAsrConfig::streaming());
        manager.loadModels(scripted.modelSet());
        manager.startStreaming(AudioSource::microphone);
        std::size_t expected = 0;
        for (int index = 0; index < 40; ++index) {
            const auto buffer = steadyBuffer(c.commonFormat, c.sampleRate, c.channels, c.interleaved, 1024);
            expected += converter.resampleBuffer(*buffer).size();
            manager.streamAudio(buffer);
        }
        manager.finish();
        const auto windows = scripted.windows();
        ASSERT_EQ(windows.size(), 1u) << c.sampleRate;
        const std::size_t aligned = (expected + 1279) / 1280 * 1280;
        EXPECT_EQ(windows[0].audioLength, static_cast<int>(aligned)) << c.sampleRate << " Hz, " << c.channels;
    }
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
