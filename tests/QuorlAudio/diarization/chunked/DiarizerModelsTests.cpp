#include "QuorlAudio/diarization/chunked/DiarizerModels.hpp"

#include "QuorlAudio/foundation/DiarizerError.hpp"
#include "tests/QuorlAudio/diarization/chunked/ChunkedTestModels.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::ml::ModelConfiguration;
namespace models = testing::ChunkedTestModels;

class DiarizerModelsTest : public testing::ModelHubTest {
protected:
    DiarizerModelsTest() { environment.set("CI", std::nullopt); }

    void serve() {
        putBundle(Repo::diarizer, "pyannote_segmentation.mlmodelc", segmentation.name());
        putBundle(Repo::diarizer, "wespeaker_v2.mlmodelc", embedding.name());
    }

    std::vector<fs::path> loadedFolders() const {
        std::vector<fs::path> folders;
        for (const auto* kernel : {&segmentation, &embedding}) {
            for (const auto& load : kernel->loads()) {
                folders.push_back(load.bundlePath.parent_path());
            }
        }
        return folders;
    }

    testsupport::ScriptedKernel segmentation{"chunked-models-segmentation"};
    testsupport::ScriptedKernel embedding{"chunked-models-embedding"};
};

TEST_F(DiarizerModelsTest, TheDefaultConfigurationFollowsTheBuildMachineSwitch) {
    EXPECT_EQ(DiarizerModels::defaultConfiguration().computeUnits, ComputeUnits::all);
    EXPECT_TRUE(DiarizerModels::defaultConfiguration().allowLowPrecisionAccumulationOnGPU);
    environment.set("CI", "");
    EXPECT_EQ(DiarizerModels::defaultConfiguration().computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(DiarizerModels::requiredModelNames(),
              (std::set<std::string>{"pyannote_segmentation.mlmodelc", "wespeaker_v2.mlmodelc"}));
    EXPECT_EQ(DiarizerModels::defaultModelsDirectory(), modelsRoot() / "speaker-diarization");
}

TEST_F(DiarizerModelsTest, AnyDirectoryLoadsFromSpeakerDiarizationBesideIt) {
    serve();
    const ModelConfiguration configuration{.computeUnits = ComputeUnits::cpuOnly,
                                           .allowLowPrecisionAccumulationOnGPU = false,
                                           .functionName = std::nullopt};
    for (const fs::path& given : {folder / "data" / "anything", folder / "data" / "other" / ""}) {
        const auto loaded = DiarizerModels::download(given, configuration, recordProgress());
        EXPECT_NE(loaded.segmentationModel, loaded.embeddingModel);
        EXPECT_GE(loaded.compilationDuration, 0.0);
    }
    const auto folders = loadedFolders();
    ASSERT_FALSE(folders.empty());
    for (const auto& loadedFolder : folders) {
        EXPECT_TRUE(loadedFolder == folder / "data" / "speaker-diarization" ||
                    loadedFolder == folder / "data" / "other" / "speaker-diarization")
            << loadedFolder;
    }
    for (const auto& load : segmentation.loads()) {
        EXPECT_EQ(load.configuration.computeUnits, ComputeUnits::cpuOnly);
        EXPECT_TRUE(load.configuration.allowLowPrecisionAccumulationOnGPU);
    }
    EXPECT_FALSE(fs::exists(folder / "data" / "anything"));
    EXPECT_FALSE(reports().empty());
    EXPECT_EQ(testing::logLines(sink, "DiarizerModels").front(), "Checking for diarizer models...");
}

TEST_F(DiarizerModelsTest, WithoutADirectoryTheDefaultFolderAndTheBuildMachineUnitsAreUsed) {
    serve();
    environment.set("CI", "1");
    const auto loaded = DiarizerModels::load();
    EXPECT_EQ(loadedFolders(),
              (std::vector<fs::path>{modelsRoot() / "speaker-diarization", modelsRoot() / "speaker-diarization"}));
    EXPECT_EQ(segmentation.loads().at(0).configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_NE(loaded.segmentationModel, nullptr);
}

TEST_F(DiarizerModelsTest, LocalModelsLoadWithTheWholeConfigurationSegmentationFirst) {
    const auto segmentationPath = models::writeSegmentationBundle(folder / "local", segmentation.name());
    const auto embeddingPath = models::writeEmbeddingBundle(folder / "local", embedding.name());
    const ModelConfiguration configuration{.computeUnits = ComputeUnits::cpuAndGPU,
                                           .allowLowPrecisionAccumulationOnGPU = false,
                                           .functionName = std::nullopt};
    const auto loaded = DiarizerModels::load(segmentationPath, embeddingPath, configuration);
    EXPECT_EQ(segmentation.loads().at(0).configuration.computeUnits, ComputeUnits::cpuAndGPU);
    EXPECT_FALSE(embedding.loads().at(0).configuration.allowLowPrecisionAccumulationOnGPU);
    EXPECT_GE(loaded.compilationDuration, 0.0);
    EXPECT_EQ(testing::logLines(sink, "DiarizerModels"), (std::vector<std::string>{"Loading predownloaded models"}));

    EXPECT_THROW(DiarizerModels::load(folder / "missing.mlmodelc", embeddingPath), platform::ml::ModelError);
    EXPECT_EQ(embedding.loads().size(), 1u);
    EXPECT_TRUE(hub.requests().empty());
}

} // namespace
} // namespace quorl
