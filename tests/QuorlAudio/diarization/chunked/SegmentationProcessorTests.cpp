#include "QuorlAudio/diarization/chunked/SegmentationProcessor.hpp"

#include "QuorlAudio/foundation/DiarizerError.hpp"
#include "tests/QuorlAudio/diarization/chunked/ChunkedTestModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace quorl {
namespace {

using platform::ml::MultiArray;
using testsupport::ScriptedKernel;
namespace models = testing::ChunkedTestModels;

// Class scores of one batch, one row per frame.
std::shared_ptr<MultiArray> scoresOf(const std::vector<std::vector<double>>& rows) {
    std::vector<double> values;
    for (const auto& row : rows) {
        values.insert(values.end(), row.begin(), row.end());
    }
    return testsupport::makeArray({1, rows.size(), rows.front().size()}, values);
}

class SegmentationProcessorTest : public ::testing::Test {
protected:
    SegmentationProcessor::Result run(std::vector<float> chunk) { return processor.getSegments(chunk, *model, 160000); }

    testsupport::TemporaryFolder folder;
    ScriptedKernel::Outputs answer{{"segments", models::filled({1, 4, 7}, 0.0f)}};
    ScriptedKernel kernel{"chunked-segmentation", [this](const ScriptedKernel::Call&) { return answer; }};
    std::shared_ptr<platform::ml::Model> model =
        platform::ml::Model::load(models::writeSegmentationBundle(folder.path(), kernel.name()));
    SegmentationProcessor processor;
};

TEST_F(SegmentationProcessorTest, TheModelHearsExactlyTheChunkSizePaddedOrCut) {
    struct Case {
        std::size_t samples;
        std::size_t heard;
    };
    for (const auto& [samples, heard] : {Case{48000, 48000}, Case{200000, 160000}, Case{160000, 160000}}) {
        std::vector<float> chunk(samples);
        for (std::size_t index = 0; index < samples; ++index) {
            chunk[index] = static_cast<float>(index % 1000 + 1);
        }
        run(chunk);
        const auto audio = kernel.calls().back().inputs.at("audio").multiArrayValue();
        ASSERT_EQ(audio->shape(), (MultiArray::Shape{1, 1, 160000}));
        const auto values = testsupport::valuesOf(*audio);
        for (std::size_t index = 0; index < values.size(); ++index) {
            ASSERT_EQ(values[index], index < heard ? chunk[index] : 0.0f) << samples << " at " << index;
        }
    }
}

TEST_F(SegmentationProcessorTest, EachFrameMarksTheSpeakersOfItsBestClass) {
    answer.insert_or_assign("segments", scoresOf({{0, 0, 0, 0, 0, 0.9, 0.1},
                                                  {0.8, 0.1, 0, 0, 0, 0, 0},
                                                  {0, 0, 0, 0, 0, 0, 0.7},
                                                  {0, 0.2, 0.6, 0, 0.6, 0, 0}}));
    const auto result = run(std::vector<float>(160000));
    const PowersetConversion::Matrix expected{{{1, 0, 1}, {0, 0, 0}, {0, 1, 1}, {0, 1, 0}}};
    EXPECT_EQ(result.segments, expected);
    EXPECT_NE(result.featureProvider->featureValue("segments"), std::nullopt);
}

TEST(PowersetConversionTest, TheAlignedAndThePlainConversionAgree) {
    const PowersetConversion::Matrix scores{
        {{0, 0, 0, 0, 0, 0.9, 0.1},
         {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5},
         {0, 0, 0, 0, 0, 0, 0.7},
         {0, 0.2, 0.6, 0, 0.6, 0, 0},
         {}},
        {{0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 0, 1, 0, 0}, {1, 0, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 0}, {0, 0, 1}, {1}}};
    ANEMemoryOptimizer optimizer;
    const auto aligned = PowersetConversion::alignedConversion(scores, optimizer);
    EXPECT_EQ(aligned, PowersetConversion::plainConversion(scores));
    ASSERT_EQ(aligned.size(), 2u);
    EXPECT_EQ(aligned[1].size(), 5u);
    EXPECT_EQ(aligned[0][1], (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(aligned[0][4], (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(aligned[1][1], (std::vector<float>{1, 1, 0}));
}

TEST(PowersetConversionTest, ScoresThatAreNoPowersetAreRefused) {
    ANEMemoryOptimizer optimizer;
    const PowersetConversion::Matrix eightClasses{{{0, 0, 0, 0, 0, 0, 0, 1}}};
    const PowersetConversion::Matrix shortBatch{{{1}, {1}}, {{1}}};
    for (const auto& scores : {eightClasses, shortBatch}) {
        EXPECT_THROW(PowersetConversion::alignedConversion(scores, optimizer), DiarizerError);
        EXPECT_THROW(PowersetConversion::plainConversion(scores), DiarizerError);
    }
}

TEST_F(SegmentationProcessorTest, OutputsOfAnotherGeometryAreRefusedBeforeTheyAreRead) {
    struct Case {
        ScriptedKernel::Outputs outputs;
        std::string error;
    };
    const std::vector<Case> cases{
        {{}, "Processing failed: Missing segments output from segmentation model"},
        {{{"other", models::filled({1, 4, 7}, 0.0f)}},
         "Processing failed: Missing segments output from segmentation model"},
        {{{"segments", models::filled({589, 7}, 0.0f)}},
         "Processing failed: Segmentation output has rank 2; expected [batch, frames, classes]"},
        {{{"segments", models::filled({1, 589, 6}, 0.0f)}},
         "Processing failed: Segmentation output has 6 classes per frame; expected 7"},
        {{{"segments", models::filled({1, 589, 8}, 0.0f)}},
         "Processing failed: Segmentation output has 8 classes per frame; expected 7"},
        {{{"segments", models::filled({1, 0, 7}, 0.0f)}}, "Processing failed: Segmentation output holds no frames"},
        {{{"segments", std::make_shared<MultiArray>(MultiArray::Shape{1, 589, 7}, platform::ml::DataType::float16)}},
         "Processing failed: Segmentation output must hold 32-bit floats"},
    };
    for (const auto& [outputs, error] : cases) {
        answer = outputs;
        EXPECT_EQ(testsupport::errorText([&] { run(std::vector<float>(16000)); }), error);
    }
}

TEST_F(SegmentationProcessorTest, ModelErrorsPassThroughUnchanged) {
    kernel.failPredictionsWith(std::make_exception_ptr(std::runtime_error("engine stalled")));
    EXPECT_EQ(testsupport::errorText([&] { run(std::vector<float>(16000)); }), "engine stalled");
}

} // namespace
} // namespace quorl
