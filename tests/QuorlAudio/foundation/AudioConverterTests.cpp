#include "QuorlAudio/foundation/AudioConverter.hpp"

#include "QuorlAudio/foundation/AudioConverterError.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include "platform/audio/AudioFile.hpp"
#include "platform/core/SystemError.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::FormatDescription;
using platform::audio::PCMBuffer;
using platform::audio::SampleBuffer;
using platform::audio::StreamDescription;

AudioFormat floatFormat(double rate, std::uint32_t channels, bool interleaved = false) {
    return *AudioFormat::make(CommonFormat::float32, rate, channels, interleaved);
}

// A Float32 non-interleaved buffer; channels[c] holds channel c.
std::shared_ptr<PCMBuffer> floatBuffer(double rate, const std::vector<std::vector<float>>& channels) {
    const auto frames = static_cast<std::uint32_t>(channels.front().size());
    auto buffer = PCMBuffer::make(floatFormat(rate, static_cast<std::uint32_t>(channels.size())), frames);
    buffer->setFrameLength(frames);
    for (std::size_t channel = 0; channel < channels.size(); ++channel) {
        std::copy(channels[channel].begin(), channels[channel].end(), buffer->floatChannelData()[channel]);
    }
    return buffer;
}

std::vector<float> sine(double frequency, double rate, std::size_t count) {
    std::vector<float> samples;
    for (std::size_t index = 0; index < count; ++index) {
        samples.push_back(static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequency * index / rate)));
    }
    return samples;
}

// The largest distance from the ideal 16 kHz sine, away from the edges where the filter sees the signal start.
double errorAgainstSine(const std::vector<float>& samples, double frequency) {
    double largest = 0;
    for (std::size_t index = 500; index + 500 < samples.size(); ++index) {
        largest = std::max(
            largest, std::fabs(samples[index] - 0.5 * std::sin(2 * std::numbers::pi * frequency * index / 16000.0)));
    }
    return largest;
}

template <class Operation>
void expectError(Operation operation, AudioConverterError::Kind kind, const std::string& text) {
    try {
        operation();
        FAIL() << "no error; expected " << text;
    } catch (const AudioConverterError& error) {
        EXPECT_EQ(error.kind(), kind);
        EXPECT_EQ(std::string(error.what()), text);
    }
}

TEST(AudioConverterTests, ErrorsDescribeThemselvesExactly) {
    const platform::core::SystemError underlying("FormatConverter", 3, "Resampling failed: bad ratio");
    const struct {
        AudioConverterError error;
        const char* text;
    } cases[] = {
        {AudioConverterError::conversionFailed(std::make_exception_ptr(underlying)),
         "Audio conversion failed: Resampling failed: bad ratio"},
        {AudioConverterError::conversionFailed(nullptr), "Audio conversion failed: Unknown error"},
        {AudioConverterError::sampleBufferCopyFailed(-12714),
         "Failed to copy samples from CMSampleBuffer (status: -12714)"},
        {AudioConverterError::failedToCreateConverter(), "Failed to create audio converter"},
        {AudioConverterError::failedToCreateBuffer(), "Failed to create conversion buffer"},
        {AudioConverterError::sampleBufferFormatMissing(),
         "Sample buffer is missing a valid audio format description."},
        {AudioConverterError::failedToCreateSourceFormat(),
         "Failed to create a source audio format description for CMSampleBuffer."},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(c.error.what(), c.text);
    }
    EXPECT_EQ(AudioConverterError::sampleBufferCopyFailed(-12714).status(), -12714);
}

TEST(AudioConverterTests, TargetFormatIsMonoFloat32AtTheRequestedRate) {
    EXPECT_EQ(AudioConverter().targetFormat(), floatFormat(16000, 1));
    EXPECT_EQ(AudioConverter(24000).targetFormat(), floatFormat(24000, 1));
    EXPECT_EQ(AudioConverter(floatFormat(22050, 2, true)).targetFormat(), floatFormat(22050, 2, true));
    for (double rate : {0.0, -16000.0, std::numeric_limits<double>::infinity()}) {
        EXPECT_THROW(AudioConverter{rate}, std::invalid_argument) << rate;
    }
}

TEST(AudioConverterTests, ResampleReturnsEmptyAndTargetRateInputUnchanged) {
    const AudioConverter converter;
    EXPECT_TRUE(converter.resample({}, 48000).empty());
    const std::vector<float> samples{0.1f, -0.2f, 0.3f};
    EXPECT_EQ(converter.resample(samples, 16000), samples);
}

TEST(AudioConverterTests, ResampleConvertsOtherRatesThroughTheFormatConverter) {
    const AudioConverter converter;
    const std::vector<float> resampled = converter.resample(sine(440, 48000, 48000), 48000);
    ASSERT_EQ(resampled.size(), 16000u);
    EXPECT_LT(errorAgainstSine(resampled, 440), 1e-4);
    EXPECT_EQ(converter.resample(sine(440, 8000, 8000), 8000).size(), 16000u);
}

TEST(AudioConverterTests, ResampleFromAnImpossibleRateFailsToCreateTheSourceFormat) {
    const AudioConverter converter;
    const std::vector<float> samples{0.1f, 0.2f};
    for (double rate : {0.0, -8000.0, std::nan("")}) {
        expectError([&] { converter.resample(samples, rate); }, AudioConverterError::Kind::failedToCreateSourceFormat,
                    "Failed to create a source audio format description for CMSampleBuffer.");
    }
}

TEST(AudioConverterTests, BuffersInTheTargetFormatAreCopiedFromChannelZero) {
    const AudioConverter converter;
    EXPECT_EQ(converter.resampleBuffer(*floatBuffer(16000, {{0.25f, -0.5f, 1.5f}})),
              (std::vector<float>{0.25f, -0.5f, 1.5f}));
    EXPECT_TRUE(converter.resampleBuffer(*PCMBuffer::make(floatFormat(16000, 1), 16)).empty());
    EXPECT_TRUE(converter.isTargetFormat(floatFormat(16000, 1)));
    EXPECT_FALSE(converter.isTargetFormat(floatFormat(16000, 1, true)));

    const AudioConverter stereoTarget(floatFormat(16000, 2));
    EXPECT_EQ(stereoTarget.resampleBuffer(*floatBuffer(16000, {{0.25f, -0.5f}, {0.75f, 1.0f}})),
              (std::vector<float>{0.25f, -0.5f}));
}

TEST(AudioConverterTests, MonoAndStereoBuffersAtOtherRatesGoThroughTheFormatConverter) {
    testsupport::RecordingLogSink sink;
    const AudioConverter converter(16000, true);
    const std::vector<float> left = sine(440, 48000, 48000);
    std::vector<float> right(left.size());
    std::transform(left.begin(), left.end(), right.begin(), [](float sample) { return 0.5f * sample; });

    const std::vector<float> stereo = converter.resampleBuffer(*floatBuffer(48000, {left, right}));
    ASSERT_EQ(stereo.size(), 16000u);
    // The channels are averaged: 0.75 of the left channel's sine.
    std::vector<float> scaled(stereo.size());
    std::transform(stereo.begin(), stereo.end(), scaled.begin(), [](float sample) { return sample / 0.75f; });
    EXPECT_LT(errorAgainstSine(scaled, 440), 1e-4);
    EXPECT_EQ(sink.messages("AudioConverter", platform::sys::LogType::debug),
              (std::vector<std::string>{"Audio conversion: 48000 samples → 16000 samples, ratio: 0.3333333333333333"}));

    EXPECT_EQ(converter.resampleBuffer(*floatBuffer(8000, {sine(440, 8000, 4000)})).size(), 8000u);
}

TEST(AudioConverterTests, EmptyBuffersInAnotherFormatConvertToNothing) {
    const AudioConverter converter;
    EXPECT_TRUE(converter.resampleBuffer(*PCMBuffer::make(floatFormat(48000, 2), 1024)).empty());
}

TEST(AudioConverterTests, FourChannelsAreAveragedAndLinearlyResampledWithoutTheFormatConverter) {
    testsupport::RecordingLogSink sink;
    const AudioConverter converter(16000, true);
    std::vector<std::vector<float>> channels(4);
    for (int frame = 0; frame < 13; ++frame) {
        for (int channel = 0; channel < 4; ++channel) {
            channels[channel].push_back(static_cast<float>(frame) + 0.25f * static_cast<float>(channel));
        }
    }
    // mono[i] = i + 0.375; every position i x 3 is whole, so out[i] = mono[3i].
    EXPECT_EQ(converter.resampleBuffer(*floatBuffer(48000, channels)),
              (std::vector<float>{0.375f, 3.375f, 6.375f, 9.375f}));
    EXPECT_EQ(sink.messages("AudioConverter", platform::sys::LogType::debug),
              (std::vector<std::string>{"Manual resampling: 4 channels → mono, 48000.0Hz → 16000.0Hz"}));
}

TEST(AudioConverterTests, LinearResamplingInterpolatesAndHoldsTheLastSample) {
    const AudioConverter converter;
    const struct {
        double rate;
        std::vector<float> mono;
        std::vector<float> expected;
    } cases[] = {
        {24000, {0, 1, 2, 3, 4}, {0, 1.5f, 3}},
        {8000, {0, 1, 2}, {0, 0.5f, 1, 1.5f, 2, 2}},
        {16000, {0.5f, -0.5f}, {0.5f, -0.5f}},
        {48000, {}, {}},
    };
    for (const auto& c : cases) {
        const std::vector<std::vector<float>> channels(3, c.mono);
        const auto buffer = PCMBuffer::make(floatFormat(c.rate, 3), 8);
        buffer->setFrameLength(static_cast<std::uint32_t>(c.mono.size()));
        for (std::size_t channel = 0; channel < 3; ++channel) {
            std::copy(c.mono.begin(), c.mono.end(), buffer->floatChannelData()[channel]);
        }
        const std::vector<float> resampled = converter.resampleBuffer(*buffer);
        ASSERT_EQ(resampled.size(), c.expected.size()) << c.rate;
        for (std::size_t index = 0; index < resampled.size(); ++index) {
            EXPECT_FLOAT_EQ(resampled[index], c.expected[index]) << c.rate << " Hz, index " << index;
        }
    }
}

TEST(AudioConverterTests, InterleavedBuffersOfManyChannelsAreReadFrameByFrame) {
    const AudioConverter converter;
    const auto buffer = PCMBuffer::make(floatFormat(16000, 3, true), 2);
    buffer->setFrameLength(2);
    const float frames[] = {0.3f, 0.3f, 0.3f, -0.6f, 0.0f, 0.0f};
    std::copy(std::begin(frames), std::end(frames), buffer->floatChannelData()[0]);
    const std::vector<float> mono = converter.resampleBuffer(*buffer);
    ASSERT_EQ(mono.size(), 2u);
    EXPECT_FLOAT_EQ(mono[0], 0.3f);
    EXPECT_FLOAT_EQ(mono[1], -0.2f);
}

TEST(AudioConverterTests, ManyChannelsWithoutFloatDataFailToCreateABuffer) {
    const AudioConverter converter;
    const auto buffer = PCMBuffer::make(*AudioFormat::make(CommonFormat::int16, 48000, 4, false), 8);
    expectError([&] { converter.resampleBuffer(*buffer); }, AudioConverterError::Kind::failedToCreateBuffer,
                "Failed to create conversion buffer");
}

std::vector<std::byte> int16Bytes(const std::vector<std::int16_t>& samples) {
    std::vector<std::byte> bytes(samples.size() * sizeof(std::int16_t));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

const StreamDescription int16InterleavedStereo{
    .sampleRate = 16000, .channelsPerFrame = 2, .bitsPerChannel = 16, .isFloat = false, .isNonInterleaved = false};

TEST(AudioConverterTests, SampleBuffersAreCopiedAndAlwaysConverted) {
    const AudioConverter converter;
    const SampleBuffer stereo(FormatDescription{.streamDescription = int16InterleavedStereo}, 2,
                              int16Bytes({16384, 0, -16384, -16384}));
    EXPECT_EQ(converter.resampleSampleBuffer(stereo), (std::vector<float>{0.25f, -0.5f}));

    const float samples[] = {0.125f, -0.75f};
    std::vector<std::byte> bytes(sizeof samples);
    std::memcpy(bytes.data(), samples, sizeof samples);
    const SampleBuffer target(FormatDescription{.streamDescription = StreamDescription{.sampleRate = 16000,
                                                                                       .channelsPerFrame = 1,
                                                                                       .bitsPerChannel = 32,
                                                                                       .isFloat = true,
                                                                                       .isNonInterleaved = true}},
                              2, bytes);
    EXPECT_EQ(converter.resampleSampleBuffer(target), (std::vector<float>{0.125f, -0.75f}));

    const auto copy = converter.extractAVAudioPCMBuffer(stereo);
    EXPECT_EQ(copy->format(), *AudioFormat::make(int16InterleavedStereo));
    EXPECT_EQ(copy->frameLength(), 2u);
    EXPECT_EQ(copy->int16ChannelData()[0][2], -16384);
}

TEST(AudioConverterTests, EmptySampleBuffersGiveAnEmptyBuffer) {
    const AudioConverter converter;
    const SampleBuffer empty(FormatDescription{.streamDescription = int16InterleavedStereo}, 0, {});
    const auto buffer = converter.extractAVAudioPCMBuffer(empty);
    EXPECT_EQ(buffer->frameCapacity(), 0u);
    EXPECT_EQ(buffer->frameLength(), 0u);
    EXPECT_TRUE(converter.resampleSampleBuffer(empty).empty());
}

TEST(AudioConverterTests, SampleBuffersWithoutAUsableFormatOrDataFail) {
    const AudioConverter converter;
    const StreamDescription packed24{
        .sampleRate = 16000, .channelsPerFrame = 1, .bitsPerChannel = 24, .isFloat = false, .isNonInterleaved = false};
    const struct {
        SampleBuffer sampleBuffer;
        AudioConverterError::Kind kind;
        const char* text;
    } cases[] = {
        {SampleBuffer(std::nullopt, 1, int16Bytes({1, 1})), AudioConverterError::Kind::sampleBufferFormatMissing,
         "Sample buffer is missing a valid audio format description."},
        {SampleBuffer(FormatDescription{}, 1, int16Bytes({1, 1})), AudioConverterError::Kind::sampleBufferFormatMissing,
         "Sample buffer is missing a valid audio format description."},
        {SampleBuffer(FormatDescription{.streamDescription = packed24}, 1, int16Bytes({1, 1})),
         AudioConverterError::Kind::failedToCreateSourceFormat,
         "Failed to create a source audio format description for CMSampleBuffer."},
        {SampleBuffer(FormatDescription{.streamDescription = int16InterleavedStereo}, 2, int16Bytes({1, 1})),
         AudioConverterError::Kind::sampleBufferCopyFailed,
         "Failed to copy samples from CMSampleBuffer (status: -12714)"},
        {SampleBuffer(FormatDescription{.streamDescription = int16InterleavedStereo}, -1, {}),
         AudioConverterError::Kind::failedToCreateBuffer, "Failed to create conversion buffer"},
    };
    for (const auto& c : cases) {
        expectError([&] { converter.resampleSampleBuffer(c.sampleBuffer); }, c.kind, c.text);
    }
}

class AudioConverterFileTests : public ::testing::Test {
protected:
    std::filesystem::path write(const char* name, int format, int rate, int channels,
                                const std::vector<float>& interleaved) {
        const auto path = folder.path() / name;
        testsupport::writeSoundFile(path, format, rate, channels, interleaved);
        return path;
    }

    testsupport::TemporaryFolder folder;
};

TEST_F(AudioConverterFileTests, FilesOfAnyRateAndChannelCountAreReducedBlockByBlockThenResampledAsOneArray) {
    const struct {
        const char* name;
        int format;
        int rate;
        int channels;
    } cases[] = {
        {"mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1},
        {"surround.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 6},
        {"surround.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 6},
        {"stereo.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2},
        {"three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 3},
        {"quad.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 4},
        {"mono-float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050, 1},
    };
    const AudioConverter converter;
    for (const auto& c : cases) {
        // Samples exact in 16-bit storage, about one and a half read blocks long; the expected mono is the
        // channels summed in order and scaled by 1 / channel count.
        const int frames = std::max(c.rate, 4096) * 3 / 2 + 7;
        std::vector<float> interleaved;
        std::vector<float> mono;
        for (int frame = 0; frame < frames; ++frame) {
            float sum = 0;
            for (int channel = 0; channel < c.channels; ++channel) {
                const float sample = static_cast<float>((frame * (channel + 1)) % 1000 - 500) / 32768.0f;
                interleaved.push_back(sample);
                sum += sample;
            }
            mono.push_back(sum * (1.0f / static_cast<float>(c.channels)));
        }
        const auto path = write(c.name, c.format, c.rate, c.channels, interleaved);

        const std::vector<float> converted = converter.resampleAudioFile(path);
        EXPECT_EQ(converted.size(), static_cast<std::size_t>(std::llround(frames * 16000.0 / c.rate))) << c.name;
        EXPECT_EQ(converted, converter.resample(mono, c.rate)) << c.name << " at " << c.rate;
    }
}

TEST_F(AudioConverterFileTests, AnEmptyFileGivesNothing) {
    const auto path = write("empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, {});
    EXPECT_TRUE(AudioConverter().resampleAudioFile(path).empty());
}

TEST_F(AudioConverterFileTests, AHeaderClaimingFarMoreFramesThanTheFileHoldsConvertsWhatItHolds) {
    const std::vector<float> samples(48000, 0.25f);
    const auto path = write("bogus.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, samples);
    // The stream information's 36-bit total sample count starts in the low half of byte 21; its top bit set
    // claims 2^35 more frames than were written.
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(21);
    const auto byte = static_cast<char>(file.get() | 0x08);
    file.seekp(21);
    file.put(byte);
    file.close();
    ASSERT_EQ(platform::audio::AudioFile(path).length(), (std::int64_t{1} << 35) + 48000);

    const AudioConverter converter;
    EXPECT_EQ(converter.resampleAudioFile(path), converter.resample(samples, 48000));
}

TEST_F(AudioConverterFileTests, FileErrorsPassThroughUnchanged) {
    const AudioConverter converter;
    EXPECT_THROW(converter.resampleAudioFile(folder.path() / "missing.wav"), platform::core::SystemError);
    const auto corrupt = folder.path() / "corrupt.flac";
    std::ofstream(corrupt) << "fLaC and then nothing that makes sense";
    EXPECT_THROW(converter.resampleAudioFile(corrupt), platform::core::SystemError);
}

} // namespace
} // namespace quorl
