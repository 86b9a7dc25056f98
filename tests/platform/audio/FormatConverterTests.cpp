#include "platform/audio/FormatConverter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <utility>
#include <vector>

namespace platform::audio {
namespace {

using Status = FormatConverter::OutputStatus;

AudioFormat formatOf(CommonFormat commonFormat, double rate, std::uint32_t channels, bool interleaved) {
    return *AudioFormat::make(commonFormat, rate, channels, interleaved);
}

// A buffer holding the given frames, each a list of one sample per channel, in any of the formats.
template <class T>
std::shared_ptr<PCMBuffer> bufferOf(const AudioFormat& format, const std::vector<std::vector<T>>& frames) {
    auto buffer = PCMBuffer::make(format, static_cast<std::uint32_t>(frames.size()));
    buffer->setFrameLength(static_cast<std::uint32_t>(frames.size()));
    const std::size_t channels = format.channelCount();
    for (std::size_t frame = 0; frame < frames.size(); ++frame) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            const std::size_t bufferIndex = format.isInterleaved() ? 0 : channel;
            const std::size_t position = format.isInterleaved() ? frame * channels + channel : frame;
            T* samples = reinterpret_cast<T*>(buffer->bufferData(bufferIndex).data());
            samples[position] = frames[frame][channel];
        }
    }
    return buffer;
}

// Channel `channel` of a buffer's valid frames, whatever its layout.
template <class T> std::vector<T> channelOf(const PCMBuffer& buffer, std::uint32_t channel) {
    const bool interleaved = buffer.format().isInterleaved();
    const T* samples = reinterpret_cast<const T*>(buffer.bufferData(interleaved ? 0 : channel).data());
    std::vector<T> values;
    for (std::size_t frame = 0; frame < buffer.frameLength(); ++frame) {
        values.push_back(samples[interleaved ? frame * buffer.stride() + channel : frame]);
    }
    return values;
}

// A mono Float32 non-interleaved buffer of the samples.
std::shared_ptr<PCMBuffer> monoBuffer(double rate, const std::vector<float>& samples) {
    std::vector<std::vector<float>> frames;
    for (float sample : samples) {
        frames.push_back({sample});
    }
    return bufferOf(formatOf(CommonFormat::float32, rate, 1, false), frames);
}

std::vector<float> noise(std::size_t count, std::uint32_t seed) {
    std::vector<float> samples;
    for (std::size_t index = 0; index < count; ++index) {
        seed = seed * 1664525u + 1013904223u;
        samples.push_back(static_cast<float>(seed >> 8) / 16777216.0f - 0.5f);
    }
    return samples;
}

// Splits the samples of a stereo signal (left = samples, right = their negation halved) into buffers of the
// given sizes, repeated until the samples run out.
std::vector<std::shared_ptr<PCMBuffer>> stereoPieces(double rate, const std::vector<float>& samples,
                                                     const std::vector<std::size_t>& sizes) {
    std::vector<std::shared_ptr<PCMBuffer>> pieces;
    const AudioFormat format = formatOf(CommonFormat::float32, rate, 2, false);
    std::size_t start = 0;
    for (std::size_t index = 0; start < samples.size(); ++index) {
        const std::size_t end = std::min(samples.size(), start + sizes[index % sizes.size()]);
        std::vector<std::vector<float>> frames;
        for (std::size_t frame = start; frame < end; ++frame) {
            frames.push_back({samples[frame], -0.5f * samples[frame]});
        }
        pieces.push_back(bufferOf(format, frames));
        start = end;
    }
    return pieces;
}

// Runs a whole stream through the converter into output buffers of `outputFrames`; with `dryBetween` the input
// block answers noDataNow before every piece. Returns channel 0 of everything delivered.
std::vector<float> convertStream(FormatConverter& converter, const std::vector<std::shared_ptr<PCMBuffer>>& pieces,
                                 std::uint32_t outputFrames, bool dryBetween) {
    std::size_t next = 0;
    bool answerDry = dryBetween;
    const FormatConverter::InputBlock input = [&](std::uint32_t) -> FormatConverter::InputBlockResult {
        if (answerDry) {
            answerDry = false;
            return {.status = FormatConverter::InputStatus::noDataNow, .buffer = nullptr};
        }
        if (next == pieces.size()) {
            return {.status = FormatConverter::InputStatus::endOfStream, .buffer = nullptr};
        }
        answerDry = dryBetween;
        return {.status = FormatConverter::InputStatus::haveData, .buffer = pieces[next++]};
    };
    const auto output = PCMBuffer::make(converter.outputFormat(), outputFrames);
    std::vector<float> samples;
    for (int call = 0; call < 1000000; ++call) {
        const auto result = converter.convert(*output, input);
        EXPECT_NE(result.status, Status::error) << (result.error ? result.error->what() : "");
        const std::vector<float> delivered = channelOf<float>(*output, 0);
        samples.insert(samples.end(), delivered.begin(), delivered.end());
        if (result.status != Status::haveData && result.status != Status::inputRanDry) {
            break;
        }
    }
    return samples;
}

TEST(FormatConverterTests, StreamedOutputEqualsOneShotOutputWithNothingLostAtSeamsOrTail) {
    const struct {
        double inputRate;
        double outputRate;
    } cases[] = {{48000, 16000}, {44100, 16000}, {8000, 16000}, {16000, 16000}};
    const std::vector<float> samples = noise(100000, 7);
    for (const auto& c : cases) {
        const AudioFormat input = formatOf(CommonFormat::float32, c.inputRate, 2, false);
        const AudioFormat output = formatOf(CommonFormat::float32, c.outputRate, 1, false);
        const auto oneShotConverter = FormatConverter::make(input, output);
        const auto streamedConverter = FormatConverter::make(input, output);
        ASSERT_TRUE(oneShotConverter && streamedConverter);

        const std::vector<float> oneShot =
            convertStream(*oneShotConverter, stereoPieces(c.inputRate, samples, {samples.size()}), 1000000, false);
        const std::vector<float> streamed = convertStream(
            *streamedConverter, stereoPieces(c.inputRate, samples, {1, 7, 1000, 4096, 333, 40000, 2}), 100, true);

        EXPECT_EQ(oneShot.size(), static_cast<std::size_t>(std::llround(samples.size() * c.outputRate / c.inputRate)))
            << c.inputRate << " -> " << c.outputRate;
        EXPECT_EQ(streamed, oneShot) << c.inputRate << " -> " << c.outputRate;
    }
}

TEST(FormatConverterTests, ResamplingKeepsASineInPlaceAndInShape) {
    std::vector<float> sine;
    for (int index = 0; index < 48000; ++index) {
        sine.push_back(static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 440 * index / 48000.0)));
    }
    const auto converter = FormatConverter::make(formatOf(CommonFormat::float32, 48000, 1, false),
                                                 formatOf(CommonFormat::float32, 16000, 1, false));
    const std::vector<float> resampled = convertStream(*converter, {monoBuffer(48000, sine)}, 4096, false);
    ASSERT_EQ(resampled.size(), 16000u);
    // Away from the edges, where the filter sees the signal start and stop.
    double largestError = 0;
    for (int index = 500; index < 15500; ++index) {
        const double expected = 0.5 * std::sin(2 * std::numbers::pi * 440 * index / 16000.0);
        largestError = std::max(largestError, std::fabs(resampled[index] - expected));
    }
    EXPECT_LT(largestError, 1e-4);
}

TEST(FormatConverterTests, SampleTypesLayoutsAndChannelsConvertAtTheSameRate) {
    const AudioFormat monoFloat = formatOf(CommonFormat::float32, 16000, 1, false);
    {
        const auto converter = FormatConverter::make(formatOf(CommonFormat::int16, 16000, 2, true),
                                                     formatOf(CommonFormat::float32, 16000, 2, false));
        const auto input = bufferOf<std::int16_t>(converter->inputFormat(), {{16384, -16384}, {32767, -32768}});
        const auto output = PCMBuffer::make(converter->outputFormat(), 2);
        converter->convert(*output, [&](std::uint32_t) {
            return FormatConverter::InputBlockResult{.status = FormatConverter::InputStatus::haveData, .buffer = input};
        });
        EXPECT_EQ(channelOf<float>(*output, 0), (std::vector<float>{0.5f, 32767.0f / 32768.0f}));
        EXPECT_EQ(channelOf<float>(*output, 1), (std::vector<float>{-0.5f, -1.0f}));
    }
    {
        const auto converter = FormatConverter::make(monoFloat, formatOf(CommonFormat::int16, 16000, 1, false));
        const auto input = monoBuffer(16000, {0.5f, -1.0f, 1.5f, -1.5f, 0.99999f, 0.00001f, std::nanf("")});
        const auto output = PCMBuffer::make(converter->outputFormat(), 7);
        converter->convert(*output, [&](std::uint32_t) {
            return FormatConverter::InputBlockResult{.status = FormatConverter::InputStatus::haveData, .buffer = input};
        });
        EXPECT_EQ(channelOf<std::int16_t>(*output, 0),
                  (std::vector<std::int16_t>{16384, -32768, 32767, -32768, 32767, 0, 0}));
    }
    const struct {
        const char* name;
        AudioFormat input;
        AudioFormat output;
        std::vector<std::vector<float>> frames;
        std::vector<std::vector<float>> expectedChannels;
    } cases[] = {
        {"stereo averaged to mono",
         formatOf(CommonFormat::float32, 16000, 2, true),
         monoFloat,
         {{0.5f, 0.25f}, {-1.0f, 1.0f}},
         {{0.375f, 0.0f}}},
        {"six channels averaged to mono",
         formatOf(CommonFormat::float32, 16000, 6, false),
         monoFloat,
         {{0.6f, 0.6f, 0.6f, 0.0f, 0.0f, 0.0f}},
         {{0.3f}}},
        {"mono copied to stereo",
         monoFloat,
         formatOf(CommonFormat::float32, 16000, 2, true),
         {{0.25f}, {-0.75f}},
         {{0.25f, -0.75f}, {0.25f, -0.75f}}},
    };
    for (const auto& c : cases) {
        const auto converter = FormatConverter::make(c.input, c.output);
        ASSERT_TRUE(converter) << c.name;
        const auto input = bufferOf(c.input, c.frames);
        const auto output = PCMBuffer::make(c.output, static_cast<std::uint32_t>(c.frames.size()));
        converter->convert(*output, [&](std::uint32_t) {
            return FormatConverter::InputBlockResult{.status = FormatConverter::InputStatus::haveData, .buffer = input};
        });
        for (std::uint32_t channel = 0; channel < c.expectedChannels.size(); ++channel) {
            const std::vector<float> values = channelOf<float>(*output, channel);
            ASSERT_EQ(values.size(), c.expectedChannels[channel].size()) << c.name;
            for (std::size_t frame = 0; frame < values.size(); ++frame) {
                EXPECT_FLOAT_EQ(values[frame], c.expectedChannels[channel][frame]) << c.name << " frame " << frame;
            }
        }
    }
}

TEST(FormatConverterTests, OnlyEqualCountsAndChangesFromOrToOneChannelAreSupported) {
    const auto format = [](std::uint32_t channels) { return formatOf(CommonFormat::float32, 16000, channels, false); };
    EXPECT_FALSE(FormatConverter::make(format(3), format(2)));
    EXPECT_FALSE(FormatConverter::make(format(2), format(6)));
    EXPECT_TRUE(FormatConverter::make(format(6), format(1)));
    EXPECT_TRUE(FormatConverter::make(format(1), format(6)));
    EXPECT_TRUE(FormatConverter::make(format(4), format(4)));
}

TEST(FormatConverterTests, AfterTheEndOfStreamNothingMoreIsDeliveredOrAskedFor) {
    const auto converter = FormatConverter::make(formatOf(CommonFormat::float32, 48000, 1, false),
                                                 formatOf(CommonFormat::float32, 16000, 1, false));
    const auto input = monoBuffer(48000, noise(3000, 3));
    int calls = 0;
    const FormatConverter::InputBlock block = [&](std::uint32_t) -> FormatConverter::InputBlockResult {
        ++calls;
        if (calls == 1) {
            return {.status = FormatConverter::InputStatus::haveData, .buffer = input};
        }
        return {.status = FormatConverter::InputStatus::endOfStream, .buffer = nullptr};
    };
    const auto output = PCMBuffer::make(converter->outputFormat(), 4096);
    EXPECT_EQ(converter->convert(*output, block).status, Status::endOfStream);
    EXPECT_EQ(output->frameLength(), 1000u);
    const int callsAtEnd = calls;
    EXPECT_EQ(converter->convert(*output, block).status, Status::endOfStream);
    EXPECT_EQ(output->frameLength(), 0u);
    EXPECT_EQ(calls, callsAtEnd);
}

TEST(FormatConverterTests, AnInputBlockWithNoDataNowLeavesTheInputDry) {
    const auto converter = FormatConverter::make(formatOf(CommonFormat::float32, 16000, 1, false),
                                                 formatOf(CommonFormat::float32, 16000, 1, false));
    const auto output = PCMBuffer::make(converter->outputFormat(), 16);
    const auto result = converter->convert(*output, [](std::uint32_t) {
        return FormatConverter::InputBlockResult{.status = FormatConverter::InputStatus::noDataNow, .buffer = nullptr};
    });
    EXPECT_EQ(result.status, Status::inputRanDry);
    EXPECT_EQ(output->frameLength(), 0u);
}

TEST(FormatConverterTests, AnEmptyInputBufferIsNotHeldPastTheCallThatHandedItOver) {
    const auto converter = FormatConverter::make(formatOf(CommonFormat::float32, 48000, 1, false),
                                                 formatOf(CommonFormat::float32, 16000, 1, false));
    auto empty = monoBuffer(48000, {});
    const std::weak_ptr<const PCMBuffer> watched = empty;
    const auto output = PCMBuffer::make(converter->outputFormat(), 16);
    const auto result = converter->convert(*output, [&empty](std::uint32_t) {
        return FormatConverter::InputBlockResult{.status = empty ? FormatConverter::InputStatus::haveData
                                                                 : FormatConverter::InputStatus::noDataNow,
                                                 .buffer = std::exchange(empty, nullptr)};
    });
    EXPECT_EQ(result.status, Status::inputRanDry);
    EXPECT_TRUE(watched.expired());
}

TEST(FormatConverterTests, AnOutputBufferWithoutCapacityGetsNothingAndAsksForNothing) {
    const auto converter = FormatConverter::make(formatOf(CommonFormat::float32, 48000, 2, false),
                                                 formatOf(CommonFormat::float32, 16000, 1, false));
    const auto output = PCMBuffer::make(converter->outputFormat(), 0);
    bool asked = false;
    const auto result = converter->convert(*output, [&](std::uint32_t) {
        asked = true;
        return FormatConverter::InputBlockResult{.status = FormatConverter::InputStatus::endOfStream,
                                                 .buffer = nullptr};
    });
    EXPECT_EQ(result.status, Status::haveData);
    EXPECT_FALSE(asked);
}

TEST(FormatConverterTests, BuffersOfTheWrongFormatAndMissingBuffersAreErrors) {
    const AudioFormat monoFloat = formatOf(CommonFormat::float32, 16000, 1, false);
    const AudioFormat stereoFloat = formatOf(CommonFormat::float32, 16000, 2, false);
    const struct {
        const char* name;
        AudioFormat outputBufferFormat;
        std::shared_ptr<PCMBuffer> input;
        const char* description;
    } cases[] = {
        {"output", stereoFloat, monoBuffer(16000, {0.5f}),
         "The output buffer's format (2 ch, 16000 Hz, Float32, non-interleaved) differs from the converter's "
         "(1 ch, 16000 Hz, Float32, non-interleaved)"},
        {"input", monoFloat, bufferOf<float>(stereoFloat, {{0.5f, 0.5f}}),
         "The input buffer's format (2 ch, 16000 Hz, Float32, non-interleaved) differs from the converter's "
         "(1 ch, 16000 Hz, Float32, non-interleaved)"},
        {"missing", monoFloat, nullptr, "The input block answered haveData without a buffer"},
    };
    for (const auto& c : cases) {
        const auto converter = FormatConverter::make(monoFloat, monoFloat);
        const auto output = PCMBuffer::make(c.outputBufferFormat, 4);
        const auto result = converter->convert(*output, [&](std::uint32_t) {
            return FormatConverter::InputBlockResult{.status = FormatConverter::InputStatus::haveData,
                                                     .buffer = c.input};
        });
        EXPECT_EQ(result.status, Status::error) << c.name;
        ASSERT_TRUE(result.error) << c.name;
        EXPECT_STREQ(result.error->what(), c.description);
        EXPECT_EQ(result.error->domain(), "FormatConverter");
    }
}

} // namespace
} // namespace platform::audio
