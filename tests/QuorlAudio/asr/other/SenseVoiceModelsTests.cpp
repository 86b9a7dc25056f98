#include "tests/QuorlAudio/asr/other/SenseVoiceTestModels.hpp"

#include "QuorlAudio/asr/other/SenseVoiceModels.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"

#include "platform/ml/ComputeUnits.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/HubEnvironment.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using testsupport::errorText;
using Precision = SenseVoiceEncoderPrecision;

class SenseVoiceModelsTests : public ::testing::Test {
protected:
    SenseVoiceModelsTests() { environment.set("XDG_DATA_HOME", dataHome.path().string()); }

    fs::path modelFolder() const { return dataHome.path() / "QuorlAudio" / "Models" / "sensevoice-small"; }

    void serveRepository() {
        models.serve(hub);
        testsupport::useLoopbackHub(environment, hub);
    }

    testsupport::ScopedEnvironment environment;
    testsupport::TemporaryFolder dataHome;
    testsupport::RecordingLogSink log;
    testsupport::LoopbackHub hub;
    SenseVoiceTestModels models{{{3, "\u4f60"}, {4, "\u597d"}}};
};

TEST_F(SenseVoiceModelsTests, ModelsExistOnlyWithThePreprocessorThePrecisionsEncoderAndTheVocabulary) {
    fs::create_directories(modelFolder());
    testsupport::writeModelBundle(modelFolder(), "SenseVoicePreprocessor.mlmodelc",
                                  models.manifests().at("SenseVoicePreprocessor"));
    testsupport::writeModelBundle(modelFolder(), "SenseVoiceSmall_int8.mlmodelc",
                                  models.manifests().at("SenseVoiceSmall_int8"));
    EXPECT_FALSE(SenseVoiceModels::modelsExist(modelFolder(), Precision::int8));
    models.writeModelFolder(modelFolder());
    fs::remove_all(modelFolder() / "SenseVoiceSmall.mlmodelc");
    fs::remove_all(modelFolder() / "SenseVoiceSmall_fp32.mlmodelc");
    EXPECT_TRUE(SenseVoiceModels::modelsExist(modelFolder(), Precision::int8));
    EXPECT_FALSE(SenseVoiceModels::modelsExist(modelFolder(), Precision::fp16));
    EXPECT_FALSE(SenseVoiceModels::modelsExist(modelFolder(), Precision::fp32));

    // A package does not count.
    fs::rename(modelFolder() / "SenseVoicePreprocessor.mlmodelc", modelFolder() / "SenseVoicePreprocessor.mlpackage");
    EXPECT_FALSE(SenseVoiceModels::modelsExist(modelFolder(), Precision::int8));
}

TEST_F(SenseVoiceModelsTests, ACompleteFolderIsNotFetchedAgain) {
    serveRepository();
    models.writeModelFolder(modelFolder());
    EXPECT_EQ(SenseVoiceModels::download({.precision = Precision::fp32}), modelFolder());
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_EQ(log.messages("SenseVoiceModels"),
              std::vector<std::string>{"SenseVoice models already present at: " + modelFolder().string()});
}

TEST_F(SenseVoiceModelsTests, AFolderLackingTheVocabularyOrForcedIsFetchedFromTheHub) {
    serveRepository();
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "forced without a folder" : "vocabulary missing");
        fs::remove_all(dataHome.path() / "QuorlAudio");
        if (!force) {
            models.writeModelFolder(modelFolder());
            fs::remove(modelFolder() / "vocab.json");
        }
        const auto requestsBefore = hub.requests().size();
        std::vector<double> fractions;
        const auto folder = SenseVoiceModels::download(
            {.precision = Precision::int8, .force = force},
            [&](const DownloadProgress& report) { fractions.push_back(report.fractionCompleted); });
        EXPECT_EQ(folder, modelFolder());
        EXPECT_GT(hub.requests().size(), requestsBefore);
        EXPECT_TRUE(SenseVoiceModels::modelsExist(folder, Precision::int8));
        EXPECT_FALSE(fractions.empty());
    }
    const auto lines = log.messages("SenseVoiceModels");
    EXPECT_EQ(std::ranges::count(lines, "Downloading SenseVoice models from HuggingFace..."), 2);
    EXPECT_EQ(std::ranges::count(lines, "Successfully downloaded SenseVoice models"), 2);
}

TEST_F(SenseVoiceModelsTests, LoadTakesThePrecisionsEncoderWithItsComputeUnitsAndTheVocabulary) {
    models.writeModelFolder(modelFolder());
    const struct {
        Precision precision;
        const char* bundle;
        ComputeUnits units;
    } cases[] = {
        {Precision::fp16, "SenseVoiceSmall.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
        {Precision::int8, "SenseVoiceSmall_int8.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
        {Precision::fp32, "SenseVoiceSmall_fp32.mlmodelc", ComputeUnits::all},
    };
    for (const auto& c : cases) {
        const auto loaded = SenseVoiceModels::load(modelFolder(), c.precision);
        EXPECT_EQ(models.encoder.loads().back().bundlePath.filename(), c.bundle);
        EXPECT_EQ(models.encoder.loads().back().configuration.computeUnits, c.units);
        EXPECT_EQ(models.preprocessor.loads().back().configuration.computeUnits, ComputeUnits::cpuOnly);
        EXPECT_EQ(loaded.vocabulary, (TokenVocabulary{{3, "\u4f60"}, {4, "\u597d"}}));
    }
    EXPECT_EQ(log.messages("SenseVoiceModels"),
              (std::vector<std::string>{"Loaded SenseVoice (encoder: fp16, vocab: 2)",
                                        "Loaded SenseVoice (encoder: int8, vocab: 2)",
                                        "Loaded SenseVoice (encoder: fp32, vocab: 2)"}));
}

TEST_F(SenseVoiceModelsTests, APackageIsCompiledAtEveryLoadAndNothingStaysInTheFolder) {
    models.writeModelFolder(modelFolder());
    fs::remove_all(modelFolder() / "SenseVoicePreprocessor.mlmodelc");
    testsupport::writeModelBundle(modelFolder(), "SenseVoicePreprocessor.mlpackage",
                                  models.manifests().at("SenseVoicePreprocessor"));
    const auto entriesBefore = std::distance(fs::directory_iterator(modelFolder()), fs::directory_iterator());
    for (int load = 0; load < 2; ++load) {
        EXPECT_NE(SenseVoiceModels::load(modelFolder(), Precision::fp16).preprocessor, nullptr);
    }
    EXPECT_EQ(models.preprocessor.loads().size(), 2u);
    EXPECT_EQ(std::distance(fs::directory_iterator(modelFolder()), fs::directory_iterator()), entriesBefore);
}

TEST_F(SenseVoiceModelsTests, AModelMissingInBothFormsFailsTheLoad) {
    models.writeModelFolder(modelFolder());
    fs::remove_all(modelFolder() / "SenseVoiceSmall_int8.mlmodelc");
    EXPECT_EQ(errorText([&] { SenseVoiceModels::load(modelFolder(), Precision::int8); }),
              "ASR processing failed: SenseVoice model not found: SenseVoiceSmall_int8");
}

} // namespace
} // namespace quorl
