#include "QuorlAudio/diarization/chunked/EmbeddingExtractor.hpp"

#include "tests/QuorlAudio/diarization/chunked/ChunkedTestModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace quorl {
namespace {

using platform::ml::MultiArray;
using testsupport::ScriptedKernel;
namespace models = testing::ChunkedTestModels;

const std::vector<float> zeros(256, 0.0f);

// Distinct sample values, so a test sees which sample landed where.
std::vector<float> ramp(std::size_t samples) {
    std::vector<float> audio(samples);
    for (std::size_t index = 0; index < samples; ++index) {
        audio[index] = static_cast<float>(index + 1);
    }
    return audio;
}

std::vector<float> maskWithOnes(std::size_t frames, std::size_t ones) {
    std::vector<float> mask(frames, 0.0f);
    std::fill_n(mask.begin(), ones, 1.0f);
    return mask;
}

class EmbeddingExtractorTest : public ::testing::Test {
protected:
    EmbeddingExtractor& extractorFor(std::size_t maskFrames) {
        const auto path =
            models::writeEmbeddingBundle(folder.path() / std::to_string(maskFrames), kernel.name(), maskFrames);
        extractor = std::make_unique<EmbeddingExtractor>(platform::ml::Model::load(path));
        return *extractor;
    }

    std::vector<double> input(std::size_t call, const std::string& name) const {
        return testsupport::valuesOf(*kernel.calls().at(call).inputs.at(name).multiArrayValue());
    }

    testsupport::TemporaryFolder folder;
    ScriptedKernel::Outputs answer{{"embedding", models::filled({1, 256}, 0.5f)}};
    ScriptedKernel kernel{"chunked-embedding", [this](const ScriptedKernel::Call&) { return answer; }};
    std::unique_ptr<EmbeddingExtractor> extractor;
};

TEST_F(EmbeddingExtractorTest, AnnouncesItselfAndAnswersNoMasksWithoutACall) {
    testsupport::RecordingLogSink sink;
    auto& embeddings = extractorFor(589);
    EXPECT_EQ(sink.messages("EmbeddingExtractor"),
              (std::vector<std::string>{"EmbeddingExtractor ready with ANE memory optimizer"}));
    EXPECT_TRUE(embeddings.getEmbeddings(ramp(160000), {}, 10).empty());
    EXPECT_TRUE(kernel.calls().empty());
}

TEST_F(EmbeddingExtractorTest, MasksBelowTheThresholdGetZerosWithoutACall) {
    const std::vector<std::vector<float>> masks{maskWithOnes(589, 10), maskWithOnes(589, 9), maskWithOnes(589, 40)};
    const auto embeddings = extractorFor(589).getEmbeddings(ramp(160000), masks, 10);
    ASSERT_EQ(embeddings.size(), 3u);
    EXPECT_EQ(embeddings[0], std::vector<float>(256, 0.5f));
    EXPECT_EQ(embeddings[1], zeros);
    EXPECT_EQ(embeddings[2], std::vector<float>(256, 0.5f));
    ASSERT_EQ(kernel.calls().size(), 2u);
    EXPECT_EQ(input(1, "mask")[39], 1.0);
    EXPECT_EQ(input(1, "mask")[40], 0.0);
}

TEST_F(EmbeddingExtractorTest, TheWaveformAndTheMaskCoverTheAudioPresent) {
    struct Case {
        std::size_t samples;
        // The mask values the model receives before they repeat, and the samples before they repeat.
        std::size_t maskPrefix;
        std::size_t audioPrefix;
    };
    std::vector<float> mask(600);
    for (std::size_t index = 0; index < mask.size(); ++index) {
        mask[index] = index % 7 == 0 ? 0.0f : 1.0f;
    }
    auto& embeddings = extractorFor(600);
    std::size_t call = 0;
    for (const auto& [samples, maskPrefix, audioPrefix] :
         {Case{160000, 600, 160000}, Case{48000, 180, 48000}, Case{200000, 600, 160000}}) {
        embeddings.getEmbeddings(ramp(samples), {mask}, 10);
        const auto waveform = input(call, "waveform");
        const auto heardMask = input(call++, "mask");
        for (std::size_t index = 0; index < 160000; ++index) {
            ASSERT_EQ(waveform[index], static_cast<double>(index % audioPrefix + 1)) << samples << " at " << index;
        }
        for (std::size_t index = 0; index < 600; ++index) {
            ASSERT_EQ(heardMask[index], mask[index % maskPrefix]) << samples << " at " << index;
            ASSERT_EQ(heardMask[600 + index], 0.0);
        }
        const double secondRowStart = samples > 160000 ? 160001.0 : 0.0;
        EXPECT_EQ(waveform[160000], secondRowStart) << samples;
        EXPECT_EQ(waveform[320000 - 1], 0.0) << samples;
    }
}

TEST_F(EmbeddingExtractorTest, AModelWithoutAnEmbeddingGivesZeros) {
    answer = {{"other", models::filled({1, 256}, 0.5f)}};
    const auto embeddings = extractorFor(589).getEmbeddings(ramp(160000), {maskWithOnes(589, 20)}, 10);
    EXPECT_EQ(embeddings, (std::vector<std::vector<float>>{zeros}));
}

TEST_F(EmbeddingExtractorTest, InputsAndOutputsThatWouldOverrunABufferAreRefused) {
    auto& embeddings = extractorFor(589);
    EXPECT_EQ(testsupport::errorText([&] {
                  embeddings.getEmbeddings(ramp(160000), {maskWithOnes(589, 20), maskWithOnes(600, 20)}, 10);
              }),
              "Processing failed: Speaker masks differ in length");
    EXPECT_TRUE(kernel.calls().empty());
    for (const auto& output :
         {models::filled({1, 255}, 0.5f),
          std::make_shared<MultiArray>(MultiArray::Shape{1, 256}, platform::ml::DataType::float16)}) {
        answer = {{"embedding", output}};
        EXPECT_EQ(testsupport::errorText([&] { embeddings.getEmbeddings(ramp(160000), {maskWithOnes(589, 20)}, 10); }),
                  "Processing failed: Embedding output must hold at least 256 32-bit floats");
    }
}

TEST_F(EmbeddingExtractorTest, AFailedPredictionDiscardsTheWholeCall) {
    auto& embeddings = extractorFor(589);
    kernel.failPredictionsWith(std::make_exception_ptr(std::runtime_error("engine stalled")));
    EXPECT_EQ(testsupport::errorText([&] {
                  embeddings.getEmbeddings(ramp(160000), {maskWithOnes(589, 20), maskWithOnes(589, 20)}, 10);
              }),
              "engine stalled");
}

} // namespace
} // namespace quorl
