#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"
#include "tests/QuorlAudio/diarization/offline/EmbeddingTestModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::MultiArray;
using testmodels::EmbeddingTestModels;
using testsupport::flexibleFeature;
using testsupport::multiArrayFeature;

// Samples numbered from 1, so a zero always means padding.
ArrayAudioSampleSource numbered(std::size_t count) {
    std::vector<float> samples(count);
    std::iota(samples.begin(), samples.end(), 1.0f);
    return ArrayAudioSampleSource(std::move(samples));
}

std::vector<double> inputOf(const testsupport::ScriptedKernel& kernel, std::size_t call, const std::string& name) {
    return testsupport::valuesOf(*kernel.calls().at(call).inputs.at(name).multiArrayValue());
}

double countOf(const std::vector<double>& values, double value) {
    return static_cast<double>(std::ranges::count(values, value));
}

class OfflineEmbeddingExtractorTest : public ::testing::Test {
protected:
    testsupport::RecordingLogSink sink;
    EmbeddingTestModels models{{1, 1, 160000}, {1, 589}};
    OfflineEmbeddingExtractor extractor = models.extractor(OfflineDiarizerConfig::defaultConfig());
};

TEST_F(OfflineEmbeddingExtractorTest, ShapesAreReadFromTheModelsWithFallbacksForWhatTheyLeaveOpen) {
    struct Case {
        const char* name;
        nlohmann::json audio;
        nlohmann::json weights;
        std::int64_t batchSize;
        std::int64_t audioSampleCount;
        std::int64_t weightFrameCount;
        MultiArray::Shape fbankInputShape;
        MultiArray::Shape weightInputShape;
        std::int64_t modelBatchLimit;
    };
    auto ranged = flexibleFeature("audio", {1, 1, 0});
    ranged["shape"] = nlohmann::json::array();
    ranged["shapeRange"] = {{0, 1}, {1, 1}, {0, nullptr}};
    const std::vector<Case> cases{
        {"fixed shapes",
         multiArrayFeature("audio", {1, 1, 160000}),
         multiArrayFeature("weights", {1, 589}),
         32,
         160000,
         589,
         {1, 1, 160000},
         {1, 589},
         32},
        {"last dimension 0 takes the one before",
         multiArrayFeature("audio", {1, 8000, 0}),
         multiArrayFeature("weights", {300, 0}),
         100,
         8000,
         300,
         {1, 8000, 8000},
         {300, 300},
         32},
        {"two trailing zeros and empty shapes fall back",
         multiArrayFeature("audio", {2, 0, 0}),
         multiArrayFeature("weights", {}),
         0,
         160000,
         589,
         {2, 1, 160000},
         {1, 589},
         1},
        {"more samples than a window are capped; ranges give their lower bounds",
         ranged,
         multiArrayFeature("weights", {1, 320000}),
         5,
         160000,
         320000,
         {1, 1, 160000},
         {1, 320000},
         5},
        {"a constraint above the window is capped",
         multiArrayFeature("audio", {1, 1, 320000}),
         multiArrayFeature("weights", {1, 589}),
         32,
         160000,
         589,
         {1, 1, 320000},
         {1, 589},
         32},
    };
    for (const auto& test : cases) {
        auto config = OfflineDiarizerConfig::defaultConfig();
        config.embedding.batchSize = test.batchSize;
        const OfflineEmbeddingExtractor built(
            models.fbankModel({test.audio}, {multiArrayFeature("fbank_features", {1, 3})}),
            models.embeddingModel({multiArrayFeature("fbank_features", {1, 3}), test.weights},
                                  {multiArrayFeature("embedding", {1, 256})}),
            models.pldaTransform(), config);
        EXPECT_EQ(built.audioSampleCount(), test.audioSampleCount) << test.name;
        EXPECT_EQ(built.weightFrameCount(), test.weightFrameCount) << test.name;
        EXPECT_EQ(built.fbankInputShape(), test.fbankInputShape) << test.name;
        EXPECT_EQ(built.weightInputShape(), test.weightInputShape) << test.name;
        EXPECT_EQ(built.modelBatchLimit(), test.modelBatchLimit) << test.name;
    }
    EXPECT_EQ(sink.messages("OfflineEmbedding", platform::sys::LogType::debug).front(),
              "Offline embedding configured with FBANK input audio[1\u00D71\u00D7160000] \u2192 fbank_features; "
              "embedding consumes fbank_features + weights[1\u00D7589] (frames=589), maxBatch=32, output=embedding");
}

TEST_F(OfflineEmbeddingExtractorTest, AModelLackingAFeatureLogsAnErrorAndRefusesConstruction) {
    const auto audio = multiArrayFeature("audio", {1, 1, 160000});
    const auto features = multiArrayFeature("fbank_features", {1, 3});
    const auto weights = multiArrayFeature("weights", {1, 589});
    const auto embedding = multiArrayFeature("embedding", {1, 256});
    nlohmann::json scalarFeatures{{"name", "fbank_features"}, {"type", "double"}};
    struct Case {
        std::vector<nlohmann::json> fbankInputs, fbankOutputs, embeddingInputs, embeddingOutputs;
        std::string message;
    };
    const std::vector<Case> cases{
        {{},
         {features},
         {features, weights},
         {embedding},
         "FBANK model is missing `audio` multiarray input; required for offline pipeline"},
        {{audio},
         {scalarFeatures},
         {features, weights},
         {embedding},
         "FBANK model missing `fbank_features` multiarray output"},
        {{audio}, {features}, {weights}, {embedding}, "Embedding model missing `fbank_features` multiarray input"},
        {{audio}, {features}, {features}, {embedding}, "Embedding model missing `weights` multiarray input"},
        {{audio}, {features}, {features, weights}, {}, "Embedding model missing `embedding` multiarray output"},
    };
    for (const auto& test : cases) {
        const auto fbank = models.fbankModel(test.fbankInputs, test.fbankOutputs);
        const auto embeddingModel = models.embeddingModel(test.embeddingInputs, test.embeddingOutputs);
        try {
            OfflineEmbeddingExtractor(fbank, embeddingModel, models.pldaTransform(),
                                      OfflineDiarizerConfig::defaultConfig());
            ADD_FAILURE() << test.message;
        } catch (const OfflineDiarizationError& error) {
            EXPECT_EQ(error.kind(), OfflineDiarizationError::Kind::processingFailed);
            EXPECT_EQ(error.detail(), test.message);
        }
        EXPECT_EQ(sink.messages("OfflineEmbedding", platform::sys::LogType::error).back(), test.message);
    }
}

TEST_F(OfflineEmbeddingExtractorTest, FiveSecondsFillHalfTheWindowAndSetTheWeightsOfTheirFrames) {
    const auto embedding = extractor.embedSpan(numbered(400000), 0.0, 5.0);

    ASSERT_EQ(models.fbank.calls().size(), 1u);
    const auto audio = inputOf(models.fbank, 0, "audio");
    EXPECT_EQ(audio[0], 1.0);
    EXPECT_EQ(audio[79999], 80000.0);
    EXPECT_EQ(countOf(audio, 0.0), 80000.0);
    const auto weights = inputOf(models.embedding, 0, "weights");
    EXPECT_EQ(countOf(weights, 1.0), 295.0);
    EXPECT_EQ(weights[294], 1.0);
    EXPECT_EQ(weights[295], 0.0);
    // The filterbank output reaches the embedding model as it left the FBANK model.
    EXPECT_EQ(inputOf(models.embedding, 0, "fbank_features"), (std::vector<double>{1, 80000, 0}));
    ASSERT_EQ(embedding.size(), 256u);
    EXPECT_EQ(embedding[3], 295.0f);
}

TEST_F(OfflineEmbeddingExtractorTest, ASpanLongerThanAWindowEmbedsItsFirstWindow) {
    extractor.embedSpan(numbered(800000), 10.0, 40.0);

    const auto audio = inputOf(models.fbank, 0, "audio");
    EXPECT_EQ(audio.front(), 160001.0);
    EXPECT_EQ(audio.back(), 320000.0);
    EXPECT_EQ(countOf(inputOf(models.embedding, 0, "weights"), 1.0), 589.0);
}

TEST_F(OfflineEmbeddingExtractorTest, SpansWithoutSamplesOrWithBoundsThatAreNotFiniteFail) {
    const auto source = numbered(400000);
    const double infinity = std::numeric_limits<double>::infinity();
    const std::vector<std::tuple<double, double, std::string>> cases{
        {12.0, 12.0, "Processing failed: embedSpan: empty span [12.0s, 12.0s)"},
        {12.5, 3.0, "Processing failed: embedSpan: empty span [12.5s, 3.0s)"},
        {30.0, 40.0, "Processing failed: embedSpan: empty span [30.0s, 40.0s)"},
        {std::nan(""), 4.0, "Processing failed: embedSpan: span bounds must be finite, got [nans, 4.0s)"},
        {0.0, infinity, "Processing failed: embedSpan: span bounds must be finite, got [0.0s, infs)"},
        {-infinity, 1e300, "Processing failed: embedSpan: span bounds must be finite, got [-infs, 1e+300s)"},
    };
    for (const auto& [start, end, description] : cases) {
        EXPECT_EQ(testsupport::errorText([&] { extractor.embedSpan(source, start, end); }), description);
    }
    EXPECT_TRUE(models.fbank.calls().empty());
    // Far-off finite bounds are clamped to the recording.
    extractor.embedSpan(source, -1e300, 1e300);
    EXPECT_EQ(inputOf(models.fbank, 0, "audio").front(), 1.0);
}

TEST_F(OfflineEmbeddingExtractorTest, AnEmptyFbankBatchRunsNoPrediction) {
    EXPECT_TRUE(extractor.runFbankBatch({}).empty());
    EXPECT_TRUE(models.fbank.calls().empty());
}

} // namespace
} // namespace quorl
