#include "QuorlAudio/diarization/streaming/OfflineSortformerModels.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::ml::DataType;
using platform::ml::FeatureValue;

constexpr std::size_t bins = OfflineSortformerConfig::melFeatures;
constexpr std::size_t window = OfflineSortformerConfig::windowMelFrames();

nlohmann::json offlineManifest(const std::string& kernel) {
    return testsupport::modelManifest(kernel,
                                      {testsupport::multiArrayFeature("mel", {1, bins, window}),
                                       testsupport::multiArrayFeature("mel_length", {1}, DataType::int32)},
                                      {testsupport::multiArrayFeature("speaker_preds", {1, 384, 4})});
}

// Frame i, bin j holds i * 1000 + j + offset.
std::vector<float> numberedFrames(std::size_t frames, float offset) {
    std::vector<float> mel(frames * bins);
    for (std::size_t i = 0; i < mel.size(); ++i) {
        mel[i] = static_cast<float>((i / bins) * 1000 + i % bins) + offset;
    }
    return mel;
}

// Whether the line is the prefix, a duration written with two decimals, and the suffix.
bool hasDuration(const std::string& line, const std::string& prefix, const std::string& suffix) {
    if (!line.starts_with(prefix) || !line.ends_with(suffix) || line.size() < prefix.size() + suffix.size() + 4) {
        return false;
    }
    const std::string duration = line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
    const auto point = duration.find('.');
    return point != std::string::npos && point > 0 && duration.size() - point == 3 &&
           duration.find_first_not_of("0123456789.") == std::string::npos;
}

class OfflineSortformerModelsTest : public ::testing::Test {
protected:
    OfflineSortformerModels loaded() {
        const auto bundle =
            testsupport::writeModelBundle(folder.path(), "Offline.mlmodelc", offlineManifest(kernel.name()));
        return OfflineSortformerModels::load(OfflineSortformerConfig::offlineV2_1(), bundle, ComputeUnits::cpuOnly);
    }

    // The "mel" input of a call as [bin][frame].
    std::vector<double> melOf(std::size_t call) const {
        return testsupport::valuesOf(*kernel.calls()[call].inputs.at("mel").multiArrayValue());
    }

    double melLengthOf(std::size_t call) const {
        return kernel.calls()[call].inputs.at("mel_length").multiArrayValue()->value(0);
    }

    testsupport::ScriptedKernel::Outputs outputs{
        {"speaker_preds", FeatureValue(testsupport::makeArray({1, 2, 4}, {0.5, 0.25, 0.125, 1, 2, 3, 4, 5}))}};
    testsupport::ScriptedKernel kernel{"offline-sortformer-models",
                                       [this](const testsupport::ScriptedKernel::Call&) { return outputs; }};
    testsupport::TemporaryFolder folder;
    testsupport::RecordingLogSink sink;
};

TEST_F(OfflineSortformerModelsTest, ThePresetIsTheModelsGeometry) {
    const auto config = OfflineSortformerConfig::offlineV2_1();
    EXPECT_EQ(config.precision, SortformerModelPrecision::fp16);
    EXPECT_EQ(config.overlapOutputFrames, 100);
    EXPECT_EQ(OfflineSortformerConfig::windowMelFrames(), 3072);
    EXPECT_EQ(OfflineSortformerConfig::frameDurationSeconds(), 0.08f);
    EXPECT_EQ(OfflineSortformerConfig::numSpeakers, 4);
    EXPECT_EQ(OfflineSortformerConfig::windowOutputFrames, 384);
}

TEST_F(OfflineSortformerModelsTest, AShortWindowIsWrittenBinMajorAndTheRestCleared) {
    auto models = loaded();
    // A full window first, so stale values would show in the short one.
    models.runOffline(numberedFrames(window, 0.5f), static_cast<int>(window));

    const auto result = models.runOffline(numberedFrames(100, 0.0f), 100);

    EXPECT_EQ(result, (std::vector<float>{0.5f, 0.25f, 0.125f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f}));
    const auto mel = melOf(1);
    ASSERT_EQ(mel.size(), bins * window);
    for (std::size_t bin = 0; bin < bins; ++bin) {
        for (std::size_t frame = 0; frame < window; ++frame) {
            const double expected = frame < 100 ? static_cast<double>(frame * 1000 + bin) : 0.0;
            ASSERT_EQ(mel[bin * window + frame], expected) << "bin " << bin << ", frame " << frame;
        }
    }
    EXPECT_EQ(melLengthOf(1), 100);
    EXPECT_EQ(melLengthOf(0), 3072);
}

TEST_F(OfflineSortformerModelsTest, MoreFramesThanTheWindowUseTheFirstOnes) {
    auto models = loaded();

    models.runOffline(numberedFrames(window + 5, 0.0f), static_cast<int>(window + 5));

    const auto mel = melOf(0);
    EXPECT_EQ(mel[window - 1], static_cast<double>((window - 1) * 1000));
    EXPECT_EQ(mel[(bins - 1) * window + window - 1], static_cast<double>((window - 1) * 1000 + bins - 1));
    EXPECT_EQ(melLengthOf(0), 3072);
    // A slice holding fewer frames than it claims counts only the frames it holds.
    models.runOffline(numberedFrames(10, 0.0f), 50);
    EXPECT_EQ(melLengthOf(1), 10);
    EXPECT_EQ(melOf(1)[10], 0.0);
}

TEST_F(OfflineSortformerModelsTest, AnOutputWithoutFloatSpeakerPredictionsIsRefused) {
    auto models = loaded();
    for (const auto& refused : std::vector<testsupport::ScriptedKernel::Outputs>{
             {},
             {{"speaker_preds", FeatureValue(testsupport::makeArray({1, 2}, {1, 2}, DataType::int32))}},
         }) {
        outputs = refused;
        try {
            models.runOffline(numberedFrames(1, 0.0f), 1);
            ADD_FAILURE() << "nothing thrown";
        } catch (const SortformerError& error) {
            EXPECT_EQ(error.kind(), SortformerError::Kind::inferenceFailed);
            EXPECT_STREQ(error.what(), "Inference failed: Missing speaker_preds");
        }
    }
}

TEST_F(OfflineSortformerModelsTest, ACompiledBundleLoadsDirectlyAndAPackageIsCompiledFirst) {
    const auto compiled =
        testsupport::writeModelBundle(folder.path(), "Offline.mlmodelc", offlineManifest(kernel.name()));
    const auto package =
        testsupport::writeModelBundle(folder.path() / "packages", "Offline.mlpackage", offlineManifest(kernel.name()));
    const auto config =
        OfflineSortformerConfig{.precision = SortformerModelPrecision::palettized, .overlapOutputFrames = 7};

    const auto fromBundle = OfflineSortformerModels::load(config, compiled, ComputeUnits::cpuAndNeuralEngine);
    const auto fromPackage = OfflineSortformerModels::load(config, package, ComputeUnits::cpuOnly);

    const auto loads = kernel.loads();
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0].bundlePath, compiled);
    EXPECT_EQ(loads[0].configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(loads[1].bundlePath.extension(), ".mlmodelc");
    EXPECT_EQ(loads[1].configuration.computeUnits, ComputeUnits::cpuOnly);
    // The compiled copy is gone once the model is loaded; the package stays.
    EXPECT_EQ(std::distance(fs::directory_iterator(package.parent_path()), fs::directory_iterator()), 1);
    EXPECT_EQ(fromPackage.config.overlapOutputFrames, 7);
    EXPECT_EQ(fromBundle.melArray->shape(), (platform::ml::MultiArray::Shape{1, bins, window}));
    EXPECT_EQ(fromBundle.melLengthArray->dataType(), DataType::int32);
    EXPECT_GE(fromBundle.compilationDuration, 0.0);

    const auto lines = sink.messages("OfflineSortformerModels");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(hasDuration(lines[0], "Loaded offline Sortformer model in ", "s (computeUnits=3)")) << lines[0];
    EXPECT_TRUE(lines[1].ends_with("s (computeUnits=0)")) << lines[1];
}

TEST_F(OfflineSortformerModelsTest, AMissingBundleFailsToLoad) {
    EXPECT_THROW(OfflineSortformerModels::load(OfflineSortformerConfig::offlineV2_1(), folder.path() / "None.mlmodelc",
                                               ComputeUnits::all),
                 platform::ml::ModelError);
}

class OfflineSortformerHubTest : public testing::ModelHubTest {
protected:
    testsupport::ScriptedKernel kernel{"offline-sortformer-hub"};
};

TEST_F(OfflineSortformerHubTest, ThePrecisionsBundleIsFetchedIntoTheCacheAndLoaded) {
    putBundle(Repo::sortformer, "v3/palettized/SortformerOffline_v2.1.mlmodelc", kernel.name());
    const auto config = OfflineSortformerConfig{.precision = SortformerModelPrecision::palettized};
    const fs::path cache = folder / "cache";

    const auto models =
        OfflineSortformerModels::loadFromHuggingFace(config, cache, ComputeUnits::cpuAndGPU, recordProgress());

    const fs::path bundle = cache / "sortformer" / "v3/palettized/SortformerOffline_v2.1.mlmodelc";
    EXPECT_TRUE(fs::exists(bundle / "coremldata.bin"));
    ASSERT_EQ(kernel.loads().size(), 1u);
    EXPECT_EQ(kernel.loads()[0].bundlePath, bundle);
    EXPECT_EQ(kernel.loads()[0].configuration.computeUnits, ComputeUnits::cpuAndGPU);
    EXPECT_EQ(models.config.precision, SortformerModelPrecision::palettized);
    ASSERT_FALSE(reports().empty());
    EXPECT_EQ(reports().back().fractionCompleted, 1.0);
    const auto lines = testing::logLines(sink, "OfflineSortformerModels");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Downloading offline Sortformer model: v3/palettized/SortformerOffline_v2.1.mlmodelc...");
    EXPECT_TRUE(hasDuration(lines[1], "Offline Sortformer model loaded from HuggingFace in ", "s")) << lines[1];
}

TEST_F(OfflineSortformerHubTest, WithoutACacheDirectoryTheDefaultModelsFolderIsUsed) {
    putBundle(Repo::sortformer, "v3/fp16/SortformerOffline_v2.1.mlmodelc", kernel.name());

    OfflineSortformerModels::loadFromHuggingFace(OfflineSortformerConfig::offlineV2_1(), std::nullopt,
                                                 ComputeUnits::all);

    EXPECT_TRUE(fs::exists(modelsRoot() / "sortformer/v3/fp16/SortformerOffline_v2.1.mlmodelc/model.json"));
    EXPECT_EQ(kernel.loads().size(), 1u);
}

TEST_F(OfflineSortformerHubTest, AHubWithoutTheBundleFailsTheLoad) {
    EXPECT_ANY_THROW(OfflineSortformerModels::loadFromHuggingFace(OfflineSortformerConfig::offlineV2_1(),
                                                                  folder / "cache", ComputeUnits::all));
    EXPECT_TRUE(kernel.loads().empty());
}

} // namespace
} // namespace quorl
