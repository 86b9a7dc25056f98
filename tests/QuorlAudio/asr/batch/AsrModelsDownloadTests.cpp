#include "AsrModelsTest.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "platform/ml/Model.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/LoopbackHub.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using testsupport::errorText;
using testsupport::fileContents;
using testsupport::LoopbackHub;

class AsrModelsDownloadTest : public testing::AsrModelsTest {
protected:
    fs::path download(const AsrModels::DownloadRequest& request) {
        return AsrModels::download(request, recordProgress(), modelHub);
    }

    std::size_t requestsFor(AsrModelVersion version, const std::string& path) const {
        return hub.requestsFor(LoopbackHub::filePath(remotePath(quorl::repo(version)), path)).size();
    }

    bool logged(const std::string& line) const { return std::ranges::count(modelSetLines(), line) == 1; }

    const fs::path v3Folder = folderOf(AsrModelVersion::v3);
};

TEST_F(AsrModelsDownloadTest, ACompleteFolderIsReturnedAtOnce) {
    cacheVersion(AsrModelVersion::v3);
    const fs::path target = AsrModels::defaultCacheDirectory(AsrModelVersion::v3);

    EXPECT_EQ(download({.version = AsrModelVersion::v3}), target);

    EXPECT_EQ(modelSetLines(), (std::vector<std::string>{"Downloading ASR models to: " + target.string(),
                                                         "ASR models already present at: " + target.string()}));
    EXPECT_TRUE(reports().empty());
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_TRUE(kernel.loads().empty());
}

TEST_F(AsrModelsDownloadTest, FillsTheModelFolderBesideTheGivenOneFileByFile) {
    serveVersion(AsrModelVersion::v3, ParakeetEncoderPrecision::int4);
    const fs::path given = modelsRoot() / "mine";

    const fs::path downloaded =
        download({.to = given, .version = AsrModelVersion::v3, .encoderPrecision = ParakeetEncoderPrecision::int4});
    EXPECT_EQ(downloaded, given);

    EXPECT_FALSE(fs::exists(given));
    EXPECT_TRUE(AsrModels::modelsExist(given, AsrModelVersion::v3, ParakeetEncoderPrecision::int4));
    EXPECT_EQ(fileContents(v3Folder / "parakeet_vocab.json"), vocabularyText);
    EXPECT_EQ(loadedBundles(), (std::vector<std::pair<fs::path, ComputeUnits>>{
                                   {v3Folder / "Preprocessor.mlmodelc", ComputeUnits::cpuOnly},
                                   {v3Folder / "EncoderInt4.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
                                   {v3Folder / "Decoder.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
                                   {v3Folder / "JointDecisionv3.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
                               }));
    EXPECT_EQ(progressRuns(), 4u);
    EXPECT_EQ(requestsFor(AsrModelVersion::v3, "Encoder.mlmodelc/coremldata.bin"), 0u);
    // The vocabulary came with the repository, so it is not fetched a second time.
    EXPECT_EQ(requestsFor(AsrModelVersion::v3, "parakeet_vocab.json"), 1u);
    EXPECT_EQ(modelSetLines().back(), "Successfully downloaded ASR models");

    // The fused preprocessor holds the encoder, so it is checked with the default units like the rest.
    const auto fused = AsrModelVersion::tdtCtc110m;
    serveVersion(fused);
    const auto checkedBefore = loadedBundles().size();
    download({.version = fused});
    const auto checked = loadedBundles();
    EXPECT_EQ(std::vector(checked.begin() + static_cast<std::ptrdiff_t>(checkedBefore), checked.end()),
              (std::vector<std::pair<fs::path, ComputeUnits>>{
                  {folderOf(fused) / "Preprocessor.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
                  {folderOf(fused) / "Decoder.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
                  {folderOf(fused) / "JointDecision.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
              }));
}

TEST_F(AsrModelsDownloadTest, AMissingVocabularyAloneIsFetchedDirectlyWithRetries) {
    cacheVersion(AsrModelVersion::v3, ParakeetEncoderPrecision::int8, false);
    const std::string vocabulary = "[" + std::string(2042, ' ') + "\"a\"]";
    ASSERT_EQ(vocabulary.size(), 2047u);
    hub.putFile(remotePath(quorl::repo(AsrModelVersion::v3)), "parakeet_vocab.json", vocabulary);
    const std::string path = LoopbackHub::filePath(remotePath(quorl::repo(AsrModelVersion::v3)), "parakeet_vocab.json");
    hub.failPath(path, LoopbackHub::Fault::answer(500, "broken"), 4);
    EXPECT_FALSE(AsrModels::modelsExist(v3Folder));

    try {
        download({.version = AsrModelVersion::v3});
        FAIL() << "expected the hub's failure";
    } catch (const DownloadError& error) {
        EXPECT_EQ(error.kind(), DownloadError::Kind::downloadFailed);
    }
    EXPECT_EQ(hub.requestsFor(path).size(), 4u);
    EXPECT_EQ(sleeper.waits(), (std::vector<double>{1, 2, 4}));
    EXPECT_TRUE(fs::exists(v3Folder / "Encoder.mlmodelc"));

    download({.version = AsrModelVersion::v3});

    EXPECT_EQ(fileContents(v3Folder / "parakeet_vocab.json"), vocabulary);
    EXPECT_EQ(hub.requests().size(), 5u);
    EXPECT_EQ(std::ranges::count(modelSetLines(),
                                 "Vocabulary parakeet_vocab.json missing after model download; fetching directly"),
              2);
    EXPECT_TRUE(logged("Downloaded vocabulary parakeet_vocab.json (1 KB)"));
    EXPECT_TRUE(AsrModels::modelsExist(v3Folder));
}

TEST_F(AsrModelsDownloadTest, ForceReplacesTheModelFolderAndLeavesTheGivenSiblingAlone) {
    cacheVersion(AsrModelVersion::v3);
    writeFile(v3Folder / "stale.bin", "old");
    const fs::path given = modelsRoot() / "projects";
    writeFile(given / "notes.txt", "keep me");
    serveVersion(AsrModelVersion::v3);

    EXPECT_EQ(download({.to = given, .force = true, .version = AsrModelVersion::v3}), given);

    EXPECT_EQ(fileContents(given / "notes.txt"), "keep me");
    EXPECT_FALSE(fs::exists(v3Folder / "stale.bin"));
    for (const auto& file : modelFiles(AsrModelVersion::v3, ParakeetEncoderPrecision::int8)) {
        EXPECT_EQ(requestsFor(AsrModelVersion::v3, file + "/coremldata.bin"), 1u) << file;
    }
    EXPECT_EQ(requestsFor(AsrModelVersion::v3, "parakeet_vocab.json"), 1u);
    EXPECT_TRUE(AsrModels::modelsExist(given, AsrModelVersion::v3, ParakeetEncoderPrecision::int8));
}

TEST_F(AsrModelsDownloadTest, ModelsExistNeedsTheVersionsSetAndItsVocabulary) {
    cacheVersion(AsrModelVersion::v3);
    const fs::path anywhere = modelsRoot() / "anything";
    EXPECT_TRUE(AsrModels::modelsExist(anywhere, AsrModelVersion::v3, ParakeetEncoderPrecision::int8));
    EXPECT_FALSE(AsrModels::modelsExist(anywhere, AsrModelVersion::v3, ParakeetEncoderPrecision::int4));
    EXPECT_FALSE(AsrModels::modelsExist(anywhere, AsrModelVersion::v2, ParakeetEncoderPrecision::int8));
    fs::remove(v3Folder / "parakeet_vocab.json");
    EXPECT_FALSE(AsrModels::modelsExist(anywhere, AsrModelVersion::v3, ParakeetEncoderPrecision::int8));
}

TEST_F(AsrModelsDownloadTest, ModelsExistInfersTheVersionFromThePath) {
    const struct {
        AsrModelVersion cached;
        std::string folder; // under the models root
        bool exists;
    } cases[] = {
        {AsrModelVersion::tdtJa, "PARAKEET-JA", true},
        {AsrModelVersion::tdtJa, "unrelated", false},
        {AsrModelVersion::tdtCtc110m, "Parakeet-TDT-CTC-110M-CoreML", true},
        {AsrModelVersion::v2, "parakeet-tdt-0.6b-v2-coreml", true},
        {AsrModelVersion::v3, "unrelated", true},
    };
    for (const auto& c : cases) {
        cacheVersion(c.cached);
        EXPECT_EQ(AsrModels::modelsExist(modelsRoot() / c.folder), c.exists) << c.folder;
        fs::remove_all(folderOf(c.cached));
    }
}

TEST_F(AsrModelsDownloadTest, IsModelValidLoadsEveryModelOfTheDefaultFolderOnTheCpu) {
    const auto fused = AsrModelVersion::tdtCtc110m;
    const fs::path fusedFolder = folderOf(fused);
    EXPECT_FALSE(AsrModels::isModelValid(fused, ParakeetEncoderPrecision::int8));
    EXPECT_EQ(modelSetLines().back(), "Model validation failed: model files not found");

    cacheVersion(fused);
    EXPECT_TRUE(AsrModels::isModelValid(fused, ParakeetEncoderPrecision::int8));
    EXPECT_EQ(loadedBundles(), (std::vector<std::pair<fs::path, ComputeUnits>>{
                                   {fusedFolder / "Preprocessor.mlmodelc", ComputeUnits::cpuOnly},
                                   {fusedFolder / "Decoder.mlmodelc", ComputeUnits::cpuOnly},
                                   {fusedFolder / "JointDecision.mlmodelc", ComputeUnits::cpuOnly},
                               }));

    fs::remove(fusedFolder / "Decoder.mlmodelc" / "model.json");
    const std::string refusal = errorText([&] { platform::ml::Model::load(fusedFolder / "Decoder.mlmodelc"); });
    EXPECT_FALSE(AsrModels::isModelValid(fused, ParakeetEncoderPrecision::int8));
    EXPECT_EQ(modelSetLines().back(), "Model validation failed: Decoder - " + refusal);
    EXPECT_EQ(kernel.loads().size(), 4u);
}

TEST_F(AsrModelsDownloadTest, DownloadAndLoadReportsTheDownloadRunsThenTheLoadRuns) {
    serveVersion(AsrModelVersion::tdtJa);

    const auto models = AsrModels::downloadAndLoad(
        std::nullopt, {.version = AsrModelVersion::tdtJa, .encoderPrecision = ParakeetEncoderPrecision::int8},
        recordProgress(), modelHub);

    EXPECT_EQ(models.version, AsrModelVersion::tdtJa);
    EXPECT_EQ(models.vocabulary.size(), 2u);
    EXPECT_EQ(progressRuns(), 8u);
    EXPECT_EQ(fileContents(folderOf(AsrModelVersion::tdtJa) / "vocab.json"), vocabularyText);
}

} // namespace
} // namespace quorl
