#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"

#include "QuorlAudio/asr/streaming/NemotronChunkSize.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::MultiArray;

struct Fixture {
    std::vector<float> signal;
    std::size_t bands = 0;
    std::size_t frames = 0;
    std::vector<float> mel;
};

// fixtures/nemotronMel.txt, written by fixtures/makeNemotronMelFixture.cpp in double precision.
Fixture readFixture() {
    std::ifstream file(std::filesystem::path(__FILE__).parent_path() / "fixtures" / "nemotronMel.txt");
    Fixture fixture;
    std::string name;
    std::size_t count = 0;
    file >> name >> count;
    fixture.signal.resize(count);
    for (float& sample : fixture.signal) {
        file >> sample;
    }
    file >> name >> fixture.bands >> fixture.frames;
    fixture.mel.resize(fixture.bands * fixture.frames);
    for (float& value : fixture.mel) {
        file >> value;
    }
    EXPECT_TRUE(file) << "the fixture is missing or truncated";
    return fixture;
}

TEST(NemotronMelExtractorTests, MatchesTheDoublePrecisionReference) {
    const Fixture fixture = readFixture();
    const auto mel = NemotronMelExtractor::make().melSpectrogram(fixture.signal);
    ASSERT_EQ(mel->shape(), (MultiArray::Shape{1, fixture.bands, fixture.frames}));
    ASSERT_EQ(mel->strides(), (MultiArray::Shape{fixture.bands * fixture.frames, fixture.frames, 1}));
    const float* values = mel->data<float>();
    // Single-precision spectra differ from the reference mostly in quiet bands, where the floor dominates.
    for (std::size_t index = 0; index < fixture.mel.size(); ++index) {
        ASSERT_NEAR(values[index], fixture.mel[index], 2e-3f)
            << "band " << index / fixture.frames << ", frame " << index % fixture.frames;
    }
}

TEST(NemotronMelExtractorTests, FrameCountsAndSilence) {
    const auto extractor = NemotronMelExtractor::make();
    EXPECT_EQ(extractor.nMels, 128);
    EXPECT_EQ(extractor.hopLength, 160);
    EXPECT_EQ(extractor.melSpectrogram(std::vector<float>(160, 0.5f))->shape(), (MultiArray::Shape{1, 128, 2}));
    EXPECT_EQ(extractor.melSpectrogram(std::vector<float>(35840, 0.5f))->shape(), (MultiArray::Shape{1, 128, 225}));

    const auto empty = extractor.melSpectrogram({});
    ASSERT_EQ(empty->shape(), (MultiArray::Shape{1, 128, 1}));
    for (std::size_t index = 0; index < empty->count(); ++index) {
        ASSERT_EQ(empty->data<float>()[index], 0.0f);
    }

    const auto silence = extractor.melSpectrogram(std::vector<float>(2560, 0.0f));
    ASSERT_EQ(silence->shape(), (MultiArray::Shape{1, 128, 17}));
    for (std::size_t index = 0; index < silence->count(); ++index) {
        ASSERT_NEAR(silence->data<float>()[index], std::log(0x1p-24), 1e-5) << index;
    }
}

TEST(NemotronMelExtractorTests, ChunkSizesOfTheEnglishModels) {
    EXPECT_EQ(nemotronChunkSizeFromRawValue(1120), NemotronChunkSize::ms1120);
    EXPECT_EQ(nemotronChunkSizeFromRawValue(1000), std::nullopt);
    EXPECT_EQ(subdirectory(NemotronChunkSize::ms560), "nemotron_coreml_560ms");
    EXPECT_EQ(repo(NemotronChunkSize::ms2240), Repo::nemotronStreaming2240);
    std::vector<int> rawValues;
    for (const auto chunkSize : platform::core::allCases<NemotronChunkSize>()) {
        rawValues.push_back(rawValue(chunkSize));
    }
    EXPECT_EQ(rawValues, (std::vector<int>{2240, 1120, 560}));
}

} // namespace
} // namespace quorl
