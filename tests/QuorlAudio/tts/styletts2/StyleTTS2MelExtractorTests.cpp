#include "QuorlAudio/tts/styletts2/StyleTTS2MelExtractor.hpp"

#include "tests/support/FixtureBlock.hpp"
#include "tests/support/LogMelTestSignal.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

namespace quorl {
namespace {

void expectMatches(const StyleTTS2MelExtractor::Result& result, std::ifstream& file, const std::string& name) {
    const auto expected = testsupport::readFixtureBlock(file, name);
    ASSERT_EQ(expected.rows, 80u);
    ASSERT_EQ(static_cast<std::size_t>(result.frames), expected.columns) << name;
    ASSERT_EQ(result.mel.size(), expected.values.size()) << name;
    // Single-precision spectra, window and filter weights move the normalised values by well under 1e-3.
    for (std::size_t index = 0; index < expected.values.size(); ++index) {
        ASSERT_NEAR(result.mel[index], expected.values[index], 1e-3F)
            << name << " band " << index / expected.columns << " frame " << index % expected.columns;
    }
}

TEST(StyleTTS2MelExtractorTests, MatchesADoublePrecisionReference) {
    const auto fixturePath = std::filesystem::path(QUORL_TTS_STYLETTS2_FIXTURES) / "styleTTS2Mel.txt";
    std::ifstream file(fixturePath);
    ASSERT_TRUE(file) << fixturePath;
    const StyleTTS2MelExtractor extractor;
    const auto signal = testsupport::logMelTestSignal();

    expectMatches(extractor.compute(signal), file, "signal");
    // Shorter than the padding: the edges repeat the clamped samples.
    expectMatches(extractor.compute(std::span(signal).first(300)), file, "short");
}

TEST(StyleTTS2MelExtractorTests, SilenceIsTheNormalisedFloorInOneFramePerHop) {
    const StyleTTS2MelExtractor extractor;
    const struct {
        std::size_t samples;
        int frames;
    } cases[] = {{0, 1}, {300, 2}, {24000, 81}, {24299, 81}, {24300, 82}};
    const float floor = (std::log(1e-5F) + 4.0F) / 4.0F;
    for (const auto& example : cases) {
        SCOPED_TRACE(example.samples);
        const auto result = extractor.compute(std::vector<float>(example.samples, 0.0F));
        EXPECT_EQ(result.frames, example.frames);
        ASSERT_EQ(result.mel.size(), 80u * static_cast<std::size_t>(example.frames));
        for (const float value : result.mel) {
            ASSERT_NEAR(value, floor, 1e-6F);
        }
    }
    EXPECT_NEAR(floor, -1.8782F, 1e-4F);
}

TEST(StyleTTS2MelExtractorTests, TheFilterbankSpansZeroToEightKilohertzWithoutNegativeWeights) {
    const StyleTTS2MelExtractor extractor;
    const auto& weights = extractor.melFilterbankFlat();
    const auto bins = static_cast<std::size_t>(extractor.nFreqBins());
    ASSERT_EQ(bins, 1025u);
    ASSERT_EQ(weights.size(), 80u * bins);
    EXPECT_TRUE(std::ranges::none_of(weights, [](float weight) { return weight < 0.0F; }));
    // The first band rises from bin 0 (0 Hz); the last falls to zero at bin 1024 (8000 Hz on the 16 kHz scale).
    EXPECT_EQ(weights[0], 0.0F);
    EXPECT_GT(weights[1], 0.0F);
    EXPECT_GT(weights[79 * bins + 1023], 0.0F);
    EXPECT_NEAR(weights[79 * bins + 1024], 0.0F, 1e-3F);
}

TEST(StyleTTS2MelExtractorTests, RefusesSettingsNoFrameCanBeCutWith) {
    const StyleTTS2MelExtractor::Options refused[] = {
        {.nFFT = 0, .winLength = 0}, {.nFFT = 512, .winLength = 600}, {.hopLength = 0}, {.nMels = -1}};
    for (const auto& options : refused) {
        EXPECT_THROW(StyleTTS2MelExtractor{options}, std::invalid_argument);
    }
}

} // namespace
} // namespace quorl
