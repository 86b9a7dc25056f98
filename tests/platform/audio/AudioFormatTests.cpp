#include "platform/audio/AudioFormat.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace platform::audio {
namespace {

TEST(AudioFormatTests, CreationFailsWithoutChannelsOrAPositiveFiniteRate) {
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        double sampleRate;
        std::uint32_t channelCount;
    } invalid[] = {{16000, 0}, {0, 1}, {-16000, 1}, {infinity, 1}, {std::nan(""), 1}};
    for (const auto& c : invalid) {
        EXPECT_FALSE(AudioFormat::make(CommonFormat::float32, c.sampleRate, c.channelCount, false))
            << c.sampleRate << " Hz, " << c.channelCount << " ch";
    }
    const auto format = AudioFormat::make(CommonFormat::int16, 44100, 2, true);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->commonFormat(), CommonFormat::int16);
    EXPECT_EQ(format->sampleRate(), 44100);
    EXPECT_EQ(format->channelCount(), 2u);
    EXPECT_TRUE(format->isInterleaved());
    EXPECT_EQ(format->bytesPerFrame(), 4u);
    EXPECT_EQ(format->bufferCount(), 1u);
}

TEST(AudioFormatTests, EqualityComparesAllFourProperties) {
    const auto base = AudioFormat::make(CommonFormat::float32, 16000, 1, false);
    EXPECT_EQ(base, AudioFormat::make(CommonFormat::float32, 16000, 1, false));
    EXPECT_NE(base, AudioFormat::make(CommonFormat::float64, 16000, 1, false));
    EXPECT_NE(base, AudioFormat::make(CommonFormat::float32, 16001, 1, false));
    EXPECT_NE(base, AudioFormat::make(CommonFormat::float32, 16000, 2, false));
    EXPECT_NE(base, AudioFormat::make(CommonFormat::float32, 16000, 1, true));
}

TEST(AudioFormatTests, DescriptionNamesEveryProperty) {
    EXPECT_EQ(AudioFormat::make(CommonFormat::float32, 44100, 2, true)->description(),
              "2 ch, 44100 Hz, Float32, interleaved");
    EXPECT_EQ(AudioFormat::make(CommonFormat::int16, 22050.5, 1, false)->description(),
              "1 ch, 22050.5 Hz, Int16, non-interleaved");
}

TEST(AudioFormatTests, StreamDescriptionsMapToCommonFormats) {
    const struct {
        std::uint32_t bits;
        bool isFloat;
        std::optional<CommonFormat> expected;
    } cases[] = {{32, true, CommonFormat::float32}, {64, true, CommonFormat::float64}, {16, false, CommonFormat::int16},
                 {32, false, CommonFormat::int32},  {24, false, std::nullopt},         {16, true, std::nullopt}};
    for (const auto& c : cases) {
        const auto format = AudioFormat::make(StreamDescription{.sampleRate = 48000,
                                                                .channelsPerFrame = 2,
                                                                .bitsPerChannel = c.bits,
                                                                .isFloat = c.isFloat,
                                                                .isNonInterleaved = true});
        ASSERT_EQ(format.has_value(), c.expected.has_value()) << c.bits << (c.isFloat ? " float" : " int");
        if (format) {
            EXPECT_EQ(format->commonFormat(), *c.expected);
            EXPECT_FALSE(format->isInterleaved());
            EXPECT_EQ(format->channelCount(), 2u);
        }
    }
    EXPECT_FALSE(AudioFormat::make(StreamDescription{
        .sampleRate = 0, .channelsPerFrame = 1, .bitsPerChannel = 32, .isFloat = true, .isNonInterleaved = true}));
}

} // namespace
} // namespace platform::audio
