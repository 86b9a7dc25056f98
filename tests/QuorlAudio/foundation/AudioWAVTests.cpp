#include "QuorlAudio/foundation/AudioWAV.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

namespace quorl {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::int16_t sampleAt(const Bytes& wav, std::size_t index) {
    const std::size_t offset = 44 + 2 * index;
    return static_cast<std::int16_t>(wav.at(offset) | wav.at(offset + 1) << 8);
}

std::uint32_t uint32At(const Bytes& wav, std::size_t offset) {
    return wav.at(offset) | wav.at(offset + 1) << 8 | wav.at(offset + 2) << 16 |
           static_cast<std::uint32_t>(wav.at(offset + 3)) << 24;
}

TEST(AudioWAVTests, EmptyInputIsTheBareHeader) {
    const Bytes expected{
        'R', 'I', 'F',  'F',  36, 0, 0,    0,    'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16,  0,   0, 0, 1, 0,
        1,   0,   0xC0, 0x5D, 0,  0, 0x80, 0xBB, 0,   0,   2,   0,   16,  0,   'd', 'a', 't', 'a', 0, 0, 0, 0,
    };
    EXPECT_EQ(AudioWAV::data({}, 24000, true), expected);
}

TEST(AudioWAVTests, NormalizedSamplesFollowTheHeaderLittleEndian) {
    const std::vector<float> samples{0.25f, -0.5f};
    const Bytes expected{
        'R', 'I', 'F', 'F', 40,  0,   0,   0,   'W',  'A',  'V', 'E', 'f',  'm',  't',  ' ',
        16,  0,   0,   0,   1,   0,   1,   0,   0xC0, 0x5D, 0,   0,   0x80, 0xBB, 0,    0,
        2,   0,   16,  0,   'd', 'a', 't', 'a', 4,    0,    0,   0,   0xFF, 0x3F, 0x01, 0x80,
    };
    EXPECT_EQ(AudioWAV::data(samples, 24000, true), expected);
}

TEST(AudioWAVTests, SamplesClipSymmetricallyAndTruncateTowardZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const struct {
        float sample;
        std::int16_t value;
    } cases[] = {
        {0.0f, 0},       {0.5f, 16383},   {-0.5f, -16383},   {0.99999f, 32766},   {1.0f, 32767}, {1.5f, 32767},
        {-1.0f, -32767}, {-1.5f, -32767}, {infinity, 32767}, {-infinity, -32767}, {nan, 32767},
    };
    for (const auto& c : cases) {
        const std::vector<float> samples{c.sample};
        EXPECT_EQ(sampleAt(AudioWAV::data(samples, 16000, false), 0), c.value) << c.sample;
    }
}

TEST(AudioWAVTests, NormalizingScalesThePeakToFullScaleAndLeavesSilenceAlone) {
    const std::vector<float> loud{2.0f, -1.0f, 0.5f};
    const Bytes louder = AudioWAV::data(loud, 16000, true);
    EXPECT_EQ(sampleAt(louder, 0), 32767);
    EXPECT_EQ(sampleAt(louder, 1), -16383);
    EXPECT_EQ(sampleAt(louder, 2), 8191);

    const std::vector<float> silence{0.0f, 0.0f};
    EXPECT_EQ(AudioWAV::data(silence, 16000, true), AudioWAV::data(silence, 16000, false));
}

TEST(AudioWAVTests, RateAndByteRateAreTruncated) {
    const struct {
        double sampleRate;
        std::uint32_t rate;
        std::uint32_t byteRate;
    } cases[] = {{24000, 24000, 48000}, {22050.5, 22050, 44101}, {2147483647.75, 2147483647, 4294967295}};
    for (const auto& c : cases) {
        const Bytes wav = AudioWAV::data({}, c.sampleRate, false);
        EXPECT_EQ(uint32At(wav, 24), c.rate) << c.sampleRate;
        EXPECT_EQ(uint32At(wav, 28), c.byteRate) << c.sampleRate;
    }
}

TEST(AudioWAVTests, RatesTheHeaderCannotHoldAreRejected) {
    for (const double sampleRate : {-1.0, 2147483648.0, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_THROW(AudioWAV::data({}, sampleRate, false), std::invalid_argument) << sampleRate;
    }
}

} // namespace
} // namespace quorl
