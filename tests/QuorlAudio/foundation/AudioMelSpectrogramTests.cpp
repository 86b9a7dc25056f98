#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"

#include "tests/support/FixtureBlock.hpp"
#include "tests/support/LogMelTestSignal.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using LogFloorMode = AudioMelSpectrogram::LogFloorMode;
using PaddingMode = AudioMelSpectrogram::PaddingMode;
using Options = AudioMelSpectrogram::Options;

constexpr float recogniserFloor = 0x1p-24f;

void expectNear(std::span<const float> values, std::span<const float> expected, float tolerance,
                const std::string& what) {
    ASSERT_EQ(values.size(), expected.size()) << what;
    for (std::size_t index = 0; index < values.size(); ++index) {
        ASSERT_NEAR(values[index], expected[index], tolerance) << what << " at " << index;
    }
}

void expectAllEqual(std::span<const float> values, float expected, const std::string& what) {
    for (std::size_t index = 0; index < values.size(); ++index) {
        ASSERT_FLOAT_EQ(values[index], expected) << what << " at " << index;
    }
}

TEST(AudioMelSpectrogramTests, MatchesADoublePrecisionReference) {
    const auto fixturePath = std::filesystem::path(QUORL_FOUNDATION_FIXTURES) / "logMel.txt";
    std::ifstream file(fixturePath);
    ASSERT_TRUE(file) << fixturePath;
    const auto signal = testsupport::logMelTestSignal();
    // Single-precision spectra of quiet bands differ from the reference mostly where the floor dominates.
    constexpr float tolerance = 2e-3f;

    AudioMelSpectrogram recogniser;
    const auto melMajor = testsupport::readFixtureBlock(file, "melMajor");
    const auto flat = recogniser.computeFlat(signal, 0.25f);
    ASSERT_EQ(flat.melLength, 11);
    ASSERT_EQ(flat.numFrames, 11);
    ASSERT_EQ(flat.mel.size(), melMajor.values.size());
    for (std::size_t index = 0; index < flat.mel.size(); ++index) {
        ASSERT_NEAR(flat.mel[index], melMajor.values[index], tolerance) << "mel-major at " << index;
    }

    AudioMelSpectrogram clamped(Options{.sampleRate = 8000,
                                        .nMels = 23,
                                        .nFFT = 256,
                                        .hopLength = 80,
                                        .winLength = 200,
                                        .preemph = 0.0f,
                                        .padTo = 1,
                                        .logFloor = 1e-10f,
                                        .logFloorMode = LogFloorMode::clamped,
                                        .windowPeriodic = true});
    const auto frameMajor = testsupport::readFixtureBlock(file, "frameMajor");
    const auto transposed = clamped.computeFlatTransposed(signal, 0.0f, PaddingMode::prePadded, std::nullopt);
    ASSERT_EQ(transposed.melLength, 17);
    ASSERT_EQ(transposed.mel.size(), frameMajor.values.size());
    for (std::size_t index = 0; index < transposed.mel.size(); ++index) {
        ASSERT_NEAR(transposed.mel[index], frameMajor.values[index], tolerance) << "frame-major at " << index;
    }
}

TEST(AudioMelSpectrogramTests, FrameCountsFollowPaddingModeAndPadTo) {
    const struct {
        std::size_t samples;
        PaddingMode mode;
        int padTo;
        int melLength;
        int numFrames;
    } cases[] = {
        {16000, PaddingMode::center, 1, 101, 101},
        {16000, PaddingMode::center, 8, 101, 104},
        {16000, PaddingMode::center, -3, 101, 101},
        {47, PaddingMode::center, 1, 1, 1},
        {48, PaddingMode::center, 1, 2, 2},
        // nFFT - hopLength samples leave no frame; one more gives one, as does anything short of nFFT + hopLength.
        {352, PaddingMode::prePadded, 1, 0, 1},
        {353, PaddingMode::prePadded, 1, 1, 1},
        {671, PaddingMode::prePadded, 4, 1, 4},
        {672, PaddingMode::prePadded, 4, 2, 4},
    };
    for (const auto& c : cases) {
        AudioMelSpectrogram spectrogram(Options{.nMels = 8, .padTo = c.padTo});
        const std::vector<float> audio(c.samples, 0.1f);
        const auto result = spectrogram.computeFlatTransposed(audio, 0.0f, c.mode, std::nullopt);
        EXPECT_EQ(result.melLength, c.melLength) << c.samples;
        EXPECT_EQ(result.numFrames, c.numFrames) << c.samples;
        EXPECT_EQ(result.mel.size(), 8u * static_cast<std::size_t>(c.numFrames)) << c.samples;
    }
}

TEST(AudioMelSpectrogramTests, EmptyAudioOrNoFrameGivesOneSilentColumn) {
    AudioMelSpectrogram spectrogram(Options{.nMels = 8});
    const std::vector<float> empty;
    const std::vector<float> tooShort(100, 0.5f);
    const std::vector<float> zeros(8, 0.0f);
    const AudioMelSpectrogram::FlatResult results[] = {
        spectrogram.computeFlat(empty, 0.3f),
        spectrogram.computeFlatTransposed(empty, 0.3f),
        spectrogram.computeFlatTransposed(empty, 0.3f, PaddingMode::center, 5),
        spectrogram.computeFlatTransposed(tooShort, 0.0f, PaddingMode::prePadded, std::nullopt),
        spectrogram.computeFlatTransposed(tooShort, 0.0f, PaddingMode::center, 0),
        spectrogram.computeFlatTransposed(tooShort, 0.0f, PaddingMode::center, -2),
    };
    for (const auto& result : results) {
        EXPECT_EQ(result.mel, zeros);
        EXPECT_EQ(result.melLength, 0);
        EXPECT_EQ(result.numFrames, 1);
    }
}

TEST(AudioMelSpectrogramTests, LayoutsHoldTheSameValuesAndZeroPadding) {
    AudioMelSpectrogram spectrogram(Options{.nMels = 16, .padTo = 8});
    const auto signal = testsupport::logMelTestSignal();
    const auto melMajor = spectrogram.computeFlat(signal, 0.1f);
    const auto frameMajor = spectrogram.computeFlatTransposed(signal, 0.1f);
    ASSERT_EQ(melMajor.melLength, 11);
    ASSERT_EQ(melMajor.numFrames, 16);
    ASSERT_EQ(frameMajor.numFrames, 16);
    for (std::size_t frame = 0; frame < 16; ++frame) {
        for (std::size_t band = 0; band < 16; ++band) {
            const float value = melMajor.mel[band * 16 + frame];
            EXPECT_FLOAT_EQ(value, frameMajor.mel[frame * 16 + band]) << frame << ", " << band;
            if (frame >= 11) {
                EXPECT_EQ(value, 0.0f) << frame << ", " << band;
            } else {
                EXPECT_TRUE(std::isfinite(value) && value != 0.0f) << frame << ", " << band;
            }
        }
    }
}

TEST(AudioMelSpectrogramTests, FramesPastTheSignalHoldTheLogarithmOfTheFloor) {
    for (const auto mode : {LogFloorMode::additive, LogFloorMode::clamped}) {
        AudioMelSpectrogram spectrogram(Options{.nMels = 8, .logFloor = 1e-6f, .logFloorMode = mode});
        const std::vector<float> audio(512, 0.5f);
        // Frame i reads from sample 160 i + 56, so frames 3 and later lie past the 512 samples.
        const auto result = spectrogram.computeFlatTransposed(audio, 0.0f, PaddingMode::prePadded, 6);
        ASSERT_EQ(result.melLength, 6);
        ASSERT_EQ(result.mel.size(), 6u * 8u);
        const std::span<const float> mel(result.mel);
        EXPECT_GT(mel[0], std::log(1e-6f));
        expectAllEqual(mel.subspan(3 * 8), std::log(1e-6f), "past the signal");
        const auto silent =
            spectrogram.computeFlatTransposed(std::vector<float>(160, 0.0f), 0.0f, PaddingMode::center, 40);
        expectAllEqual(silent.mel, std::log(1e-6f), "silence");
    }
}

TEST(AudioMelSpectrogramTests, PreEmphasisContinuesAcrossCalls) {
    const auto signal = testsupport::logMelTestSignal();
    // The whole signal emphasised in one pass, fed to a spectrogram that does no pre-emphasis of its own.
    std::vector<float> emphasised(signal.size());
    emphasised[0] = signal[0];
    for (std::size_t index = 1; index < signal.size(); ++index) {
        emphasised[index] = signal[index] - 0.97f * signal[index - 1];
    }
    AudioMelSpectrogram spectrogram(Options{.nMels = 16, .preemph = 0.97f});
    AudioMelSpectrogram plain(Options{.nMels = 16, .preemph = 0.0f});
    const std::span<const float> halves(signal);
    const std::span<const float> emphasisedHalves(emphasised);

    const auto first = spectrogram.computeFlatTransposed(halves.first(800), 0.0f);
    const auto second = spectrogram.computeFlatTransposed(halves.last(800), signal[799]);
    const auto expectedSecond = plain.computeFlatTransposed(emphasisedHalves.last(800), 0.0f);
    expectNear(first.mel, plain.computeFlatTransposed(emphasisedHalves.first(800), 0.0f).mel, 1e-5f, "first");
    expectNear(second.mel, expectedSecond.mel, 1e-5f, "second");
    // Centre padding puts the first sample under the middle of the first window, where it shows.
    const auto restarted = spectrogram.computeFlatTransposed(halves.last(800), 0.0f);
    float largestDifference = 0.0f;
    for (std::size_t index = 0; index < restarted.mel.size(); ++index) {
        largestDifference = std::max(largestDifference, std::abs(restarted.mel[index] - expectedSecond.mel[index]));
    }
    EXPECT_GT(largestDifference, 1e-3f);
}

TEST(AudioMelSpectrogramTests, ZeroPreEmphasisPassesSamplesThrough) {
    AudioMelSpectrogram plain(Options{.nMels = 16, .preemph = 0.0f});
    AudioMelSpectrogram emphasised(Options{.nMels = 16, .preemph = 0.97f});
    const auto signal = testsupport::logMelTestSignal();
    EXPECT_EQ(plain.computeFlatTransposed(signal, 0.9f).mel, plain.computeFlatTransposed(signal, -0.4f).mel);
    EXPECT_NE(plain.computeFlatTransposed(signal, 0.0f).mel, emphasised.computeFlatTransposed(signal, 0.0f).mel);
}

TEST(AudioMelSpectrogramTests, NestedComputeWindowsFromTheFrameStart) {
    AudioMelSpectrogram spectrogram(Options{.nMels = 16, .preemph = 0.0f});
    const auto signal = testsupport::logMelTestSignal();
    const auto nested = spectrogram.compute(signal);
    // (1600 - 400) / 160 + 1 frames.
    ASSERT_EQ(nested.melLength, 8);
    ASSERT_EQ(nested.mel.size(), 1u);
    ASSERT_EQ(nested.mel[0].size(), 16u);
    ASSERT_EQ(nested.mel[0][0].size(), 8u);
    // A window moved inside a zero-filled frame changes only the phase, so centred frames of the signal
    // delayed by (512 - 400) / 2 samples have the same power.
    std::vector<float> delayed(56, 0.0f);
    delayed.insert(delayed.end(), signal.begin(), signal.end());
    const auto centred = spectrogram.computeFlatTransposed(delayed, 0.0f, PaddingMode::prePadded, std::nullopt);
    ASSERT_EQ(centred.melLength, 8);
    for (std::size_t frame = 0; frame < 8; ++frame) {
        for (std::size_t band = 0; band < 16; ++band) {
            EXPECT_NEAR(nested.mel[0][band][frame], centred.mel[frame * 16 + band], 1e-3f) << frame << ", " << band;
        }
    }
}

TEST(AudioMelSpectrogramTests, NestedComputeOfShortAudio) {
    AudioMelSpectrogram spectrogram(Options{.nMels = 4});
    EXPECT_EQ(spectrogram.compute(std::vector<float>(239, 0.5f)).melLength, 0);
    EXPECT_TRUE(spectrogram.compute(std::vector<float>{}).mel.empty());
    // Short of one window but within a hop of it: one frame, the missing samples read as zeros.
    const auto partial = spectrogram.compute(std::vector<float>(241, 0.5f));
    ASSERT_EQ(partial.melLength, 1);
    EXPECT_GT(partial.mel[0][0][0], std::log(recogniserFloor));
}

TEST(AudioMelSpectrogramTests, UnsupportedTransformLengthYieldsTheFloor) {
    AudioMelSpectrogram spectrogram(Options{.nMels = 8, .nFFT = 511});
    EXPECT_EQ(spectrogram.nFFT(), 511);
    const auto result = spectrogram.computeFlat(testsupport::logMelTestSignal(), 0.0f);
    ASSERT_GT(result.melLength, 0);
    expectAllEqual(result.mel, std::log(recogniserFloor), "odd nFFT");
}

TEST(AudioMelSpectrogramTests, HannWindows) {
    const auto periodic = AudioMelSpectrogram::hannWindow(4, true);
    const auto symmetric = AudioMelSpectrogram::hannWindow(4, false);
    ASSERT_EQ(periodic.size(), 4u);
    ASSERT_EQ(symmetric.size(), 4u);
    const float expectedPeriodic[] = {0.0f, 0.5f, 1.0f, 0.5f};
    const float expectedSymmetric[] = {0.0f, 0.75f, 0.75f, 0.0f};
    for (std::size_t index = 0; index < 4; ++index) {
        EXPECT_NEAR(periodic[index], expectedPeriodic[index], 1e-6f) << index;
        EXPECT_NEAR(symmetric[index], expectedSymmetric[index], 1e-6f) << index;
    }
    EXPECT_TRUE(AudioMelSpectrogram::hannWindow(0, false).empty());
    EXPECT_EQ(AudioMelSpectrogram::hannWindow(1, false), std::vector<float>{1.0f});
}

TEST(AudioMelSpectrogramTests, FilterbankTrianglesHaveUnitArea) {
    // Bins 1 Hz apart, so the sum of a band's weights approximates its area in Hz.
    const auto filterbank = AudioMelSpectrogram::melFilterbank(16000, 16000, 40);
    ASSERT_EQ(filterbank.size(), 40u);
    for (std::size_t band = 0; band < filterbank.size(); ++band) {
        ASSERT_EQ(filterbank[band].size(), 8001u);
        float area = 0.0f;
        for (const float weight : filterbank[band]) {
            EXPECT_GE(weight, 0.0f);
            area += weight;
        }
        EXPECT_NEAR(area, 1.0f, 0.02f) << band;
    }
    // The lowest band rises from 0 Hz: nothing at 0 Hz, everything below its upper edge.
    EXPECT_EQ(filterbank[0][0], 0.0f);
    EXPECT_GT(filterbank[0][1], 0.0f);
}

TEST(AudioMelSpectrogramTests, RejectsConfigurationsThatCannotCutFrames) {
    const struct {
        Options options;
        const char* message;
    } cases[] = {
        {{.nMels = 8, .hopLength = 0}, "AudioMelSpectrogram: hopLength must be at least 1, got 0"},
        {{.sampleRate = 0, .nMels = 8}, "AudioMelSpectrogram: sampleRate must be at least 1, got 0"},
        {{.sampleRate = -16000, .nMels = 8}, "AudioMelSpectrogram: sampleRate must be at least 1, got -16000"},
        {{.nMels = -1}, "AudioMelSpectrogram: nMels must be at least 0, got -1"},
        {{.nMels = 8, .nFFT = 0, .winLength = 0}, "AudioMelSpectrogram: nFFT must be at least 1, got 0"},
        {{.nMels = 8, .winLength = -1}, "AudioMelSpectrogram: winLength must be at least 0, got -1"},
        {{.nMels = 8, .winLength = 513}, "AudioMelSpectrogram: winLength must not exceed nFFT"},
    };
    for (const auto& c : cases) {
        try {
            AudioMelSpectrogram spectrogram(c.options);
            ADD_FAILURE() << c.message;
        } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

} // namespace
} // namespace quorl
