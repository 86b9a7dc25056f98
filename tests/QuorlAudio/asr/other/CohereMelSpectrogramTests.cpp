#include "QuorlAudio/asr/other/CohereMelSpectrogram.hpp"

#include "tests/support/ErrorText.hpp"
#include "tests/support/LogMelTestSignal.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Mel = std::vector<std::vector<float>>;

constexpr float guard = 0x1p-24f;

// The encoder's front end.
CohereMelSpectrogram::Config encoderConfig() {
    return {.sampleRate = 16000,
            .winLength = 400,
            .hopLength = 160,
            .nMels = 128,
            .fMin = 0.0f,
            .fMax = 8000.0f,
            .preemph = 0.97f,
            .magPower = 2.0f,
            .logZeroGuard = guard,
            .cmvnEpsilon = 1e-5f};
}

Mel readBlock(std::ifstream& file, const std::string& expectedName) {
    std::string name;
    std::size_t rows = 0;
    std::size_t columns = 0;
    file >> name >> rows >> columns;
    EXPECT_EQ(name, expectedName);
    Mel block(rows, std::vector<float>(columns));
    for (auto& row : block) {
        for (float& value : row) {
            file >> value;
        }
    }
    EXPECT_TRUE(file) << "fixture block " << expectedName << " is truncated";
    return block;
}

void expectNear(const Mel& mel, const Mel& expected, float tolerance, const std::string& what) {
    ASSERT_EQ(mel.size(), expected.size()) << what;
    for (std::size_t band = 0; band < mel.size(); ++band) {
        ASSERT_EQ(mel[band].size(), expected[band].size()) << what;
        for (std::size_t frame = 0; frame < mel[band].size(); ++frame) {
            ASSERT_NEAR(mel[band][frame], expected[band][frame], tolerance)
                << what << " band " << band << " frame " << frame;
        }
    }
}

TEST(CohereMelSpectrogramTests, MatchesADoublePrecisionReference) {
    const auto fixturePath = std::filesystem::path(QUORL_ASR_OTHER_FIXTURES) / "cohereMel.txt";
    std::ifstream file(fixturePath);
    ASSERT_TRUE(file) << fixturePath;
    const auto signal = testsupport::logMelTestSignal();
    // Normalised values are of order 1; single-precision spectra and filter weights move them by up to 2e-4.
    constexpr float tolerance = 5e-4f;

    const auto encoder = CohereMelSpectrogram(encoderConfig()).compute(signal);
    EXPECT_EQ(encoder.validFrames, 10);
    expectNear(encoder.mel, readBlock(file, "encoder"), tolerance, "encoder");

    const CohereMelSpectrogram variant({.sampleRate = 16000,
                                        .winLength = 512,
                                        .hopLength = 128,
                                        .nMels = 40,
                                        .fMin = 100.0f,
                                        .fMax = 6000.0f,
                                        .preemph = 0.0f,
                                        .magPower = 1.0f,
                                        .logZeroGuard = 1e-6f,
                                        .cmvnEpsilon = 1e-3f});
    const auto other = variant.compute(signal);
    EXPECT_EQ(other.validFrames, 12);
    expectNear(other.mel, readBlock(file, "variant"), tolerance, "variant");
}

TEST(CohereMelSpectrogramTests, FramesPastTheValidOnesAreZero) {
    const CohereMelSpectrogram front(encoderConfig());
    const struct {
        std::size_t samples;
        std::size_t frames;
        int validFrames;
    } cases[] = {{16000, 101, 100}, {320, 3, 2}, {159, 1, 0}, {0, 1, 0}};
    for (const auto& example : cases) {
        SCOPED_TRACE(example.samples);
        std::vector<float> audio(example.samples);
        for (std::size_t index = 0; index < audio.size(); ++index) {
            audio[index] = std::sin(0.05f * static_cast<float>(index)) + 0.001f * static_cast<float>(index % 7);
        }
        const auto output = front.compute(audio);
        EXPECT_EQ(output.validFrames, example.validFrames);
        EXPECT_EQ(front.validFrameCount(static_cast<long>(example.samples)), example.validFrames);
        ASSERT_EQ(output.mel.size(), 128u);
        for (const auto& band : output.mel) {
            ASSERT_EQ(band.size(), example.frames);
            for (std::size_t frame = static_cast<std::size_t>(example.validFrames); frame < band.size(); ++frame) {
                ASSERT_EQ(band[frame], 0.0f);
            }
        }
    }
    EXPECT_EQ(front.validFrameCount(-5), 0);
}

TEST(CohereMelSpectrogramTests, TwoValidFramesNormaliseToPlusAndMinusOneOverRootTwo) {
    // With two frames the sample deviation is |a - b| / sqrt(2), so every band becomes +-1/sqrt(2) (or 0).
    std::vector<float> audio(320);
    for (std::size_t index = 0; index < audio.size(); ++index) {
        audio[index] = index < 160 ? 0.01f * std::sin(0.3f * static_cast<float>(index))
                                   : 0.5f * std::sin(0.7f * static_cast<float>(index));
    }
    const auto output = CohereMelSpectrogram(encoderConfig()).compute(audio);
    for (const auto& band : output.mel) {
        EXPECT_NEAR(std::abs(band[0]), std::numbers::sqrt2_v<float> / 2, 1e-3f);
        EXPECT_NEAR(band[0], -band[1], 1e-5f);
    }
}

TEST(CohereMelSpectrogramTests, ConstantBandsBecomeZero) {
    // Silence gives ln(guard) in every band and frame: no deviation, so every value is divided by epsilon.
    const auto output = CohereMelSpectrogram(encoderConfig()).compute(std::vector<float>(1600, 0.0f));
    for (const auto& band : output.mel) {
        for (const float value : band) {
            ASSERT_EQ(value, 0.0f);
        }
    }
}

TEST(CohereMelSpectrogramTests, PreEmphasisNeedsACoefficientAndTwoSamples) {
    auto config = encoderConfig();
    config.preemph = 0.0f;
    const CohereMelSpectrogram plain(config);
    config.preemph = 0.97f;
    const CohereMelSpectrogram emphasised(config);
    // One valid frame keeps its logarithm, so the first frame shows the spectrum of what was framed.
    std::vector<float> one(160, 0.0f);
    one[0] = 0.5f;
    const auto single = emphasised.compute(std::span<const float>(one).first(1));
    EXPECT_EQ(single.mel, plain.compute(std::span<const float>(one).first(1)).mel);

    std::vector<float> ramp(160);
    for (std::size_t index = 0; index < ramp.size(); ++index) {
        ramp[index] = 0.001f * static_cast<float>(index);
    }
    const auto withCoefficient = emphasised.compute(ramp);
    const auto without = plain.compute(ramp);
    EXPECT_NE(withCoefficient.mel[0][0], without.mel[0][0]);

    std::vector<float> emphasisedRamp(ramp);
    for (std::size_t index = ramp.size() - 1; index > 0; --index) {
        emphasisedRamp[index] = ramp[index] - 0.97f * ramp[index - 1];
    }
    expectNear(withCoefficient.mel, plain.compute(emphasisedRamp).mel, 1e-5f, "pre-emphasis by hand");
}

TEST(CohereMelSpectrogramTests, WindowIsASymmetricHannCentredInTheFrame) {
    const struct {
        int winLength;
        int nFFT;
    } sizes[] = {{400, 512}, {512, 512}, {513, 1024}, {2, 2}, {3, 4}};
    for (const auto& size : sizes) {
        auto config = encoderConfig();
        config.winLength = size.winLength;
        EXPECT_EQ(CohereMelSpectrogram(config).nFFT(), size.nFFT) << size.winLength;
    }
    const CohereMelSpectrogram front(encoderConfig());
    const auto& window = front.paddedWindow();
    ASSERT_EQ(window.size(), 512u);
    for (std::size_t index = 0; index < window.size(); ++index) {
        if (index < 56 || index > 455) {
            ASSERT_EQ(window[index], 0.0f) << index;
        }
    }
    EXPECT_EQ(window[56], 0.0f);
    EXPECT_NEAR(window[455], 0.0f, 1e-7f);
    EXPECT_NEAR(window[56 + 100], 0.5f * (1.0f - std::cos(2.0f * std::numbers::pi_v<float> * 100.0f / 399.0f)), 1e-6f);
    EXPECT_NEAR(window[57], window[454], 1e-7f);
}

TEST(CohereMelSpectrogramTests, BandsWithoutABinHoldTheLogarithmOfTheGuard) {
    // 128 bands below 200 Hz on 31.25 Hz bins: most triangles hold no bin frequency.
    auto config = encoderConfig();
    config.fMax = 200.0f;
    const CohereMelSpectrogram front(config);
    std::vector<float> audio(200);
    for (std::size_t index = 0; index < audio.size(); ++index) {
        audio[index] = std::sin(0.02f * static_cast<float>(index));
    }
    // One valid frame: nothing is normalised and frame 0 keeps its logarithm.
    const auto output = front.compute(audio);
    ASSERT_EQ(output.validFrames, 1);
    int empty = 0;
    for (std::size_t band = 0; band < front.melFilter().size(); ++band) {
        const auto& weights = front.melFilter()[band];
        ASSERT_EQ(weights.size(), 257u);
        if (std::ranges::all_of(weights, [](float weight) { return weight == 0.0f; })) {
            ++empty;
            EXPECT_FLOAT_EQ(output.mel[band][0], std::log(guard)) << band;
        }
        for (const float weight : weights) {
            ASSERT_TRUE(std::isfinite(weight)) << band;
        }
    }
    EXPECT_GT(empty, 100);
}

TEST(CohereMelSpectrogramTests, PadOrTruncateToTheEncoderLength) {
    const auto rows = [](std::size_t frames) { return Mel(128, std::vector<float>(frames, 1.5f)); };
    const auto padded = CohereMelSpectrogram::padOrTruncate(rows(2101), 2100, 3500);
    EXPECT_EQ(padded.featureLength, 2100);
    for (const auto& row : padded.mel) {
        ASSERT_EQ(row.size(), 3500u);
        EXPECT_EQ(row[2100], 1.5f);
        EXPECT_TRUE(std::all_of(row.begin() + 2101, row.end(), [](float value) { return value == 0.0f; }));
    }
    const auto cut = CohereMelSpectrogram::padOrTruncate(rows(4000), 3999, 3500);
    EXPECT_EQ(cut.featureLength, 3500);
    for (const auto& row : cut.mel) {
        ASSERT_EQ(row.size(), 3500u);
    }
    const auto exact = CohereMelSpectrogram::padOrTruncate(rows(3500), 3499, 3500);
    EXPECT_EQ(exact.mel, rows(3500));
    EXPECT_EQ(exact.featureLength, 3499);
    const auto none = CohereMelSpectrogram::padOrTruncate({}, 10, 3500);
    EXPECT_TRUE(none.mel.empty());
    EXPECT_EQ(none.featureLength, 0);
}

TEST(CohereMelSpectrogramTests, RefusesConfigurationsThatCannotFrame) {
    auto config = encoderConfig();
    config.hopLength = 0;
    EXPECT_THROW(CohereMelSpectrogram{config}, std::invalid_argument);
    config = encoderConfig();
    config.winLength = 1;
    EXPECT_EQ(testsupport::errorText([&] { CohereMelSpectrogram{config}; }), "vDSP.FFT setup failed for n=1");
}

} // namespace
} // namespace quorl
