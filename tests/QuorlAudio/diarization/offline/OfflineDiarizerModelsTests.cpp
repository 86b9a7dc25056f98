#include "QuorlAudio/diarization/offline/OfflineDiarizerModels.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/diarization/offline/PldaPsiFile.hpp"
#include "platform/core/Base64.hpp"
#include "platform/core/CancellationToken.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;

// The bytes of the floats, little-endian, as the parameters file packs them.
std::vector<std::uint8_t> packed(const std::vector<float>& values) {
    std::vector<std::uint8_t> bytes;
    for (const float value : values) {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
        }
    }
    return bytes;
}

std::string parametersWithText(const std::string& base64) {
    return nlohmann::json{{"tensors", {{"psi", {{"data_base64", base64}, {"dtype", "float32"}}}, {"mu", {}}}}}.dump();
}

std::string parametersFile(const std::vector<float>& psi) {
    return parametersWithText(platform::core::base64Encode(packed(psi)));
}

class OfflineDiarizerModelsTest : public testing::ModelHubTest {
protected:
    static constexpr const char* modelFiles[] = {"Segmentation.mlmodelc", "Embedding.mlmodelc", "PldaRho.mlmodelc",
                                                 "FBank.mlmodelc"};

    void serveModels(const std::vector<float>& psi) {
        for (const char* file : modelFiles) {
            putBundle(Repo::diarizer, file, kernel.name());
        }
        hub.putFile(remotePath(Repo::diarizer), "plda-parameters.json", parametersFile(psi));
    }

    std::vector<std::string> modelLines() const { return testing::logLines(sink, "OfflineDiarizerModels"); }

    testsupport::ScriptedKernel kernel{"offline-diarizer-models"};
};

TEST_F(OfflineDiarizerModelsTest, TheMainModelsFollowTheCallerAndTheFilterbankStaysOnTheCpu) {
    serveModels({0.5f, -2.0f, 3.25f});
    const fs::path root = folder / "models";

    const auto models = OfflineDiarizerModels::load(
        root, MLModelConfigurationUtils::defaultConfiguration(ComputeUnits::cpuAndNeuralEngine), recordProgress());

    const auto loads = kernel.loads();
    ASSERT_EQ(loads.size(), 4u);
    const std::vector<std::pair<std::string, ComputeUnits>> expected{
        {"Segmentation.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
        {"Embedding.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
        {"PldaRho.mlmodelc", ComputeUnits::cpuAndNeuralEngine},
        {"FBank.mlmodelc", ComputeUnits::cpuOnly},
    };
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_EQ(loads[index].bundlePath, root / "speaker-diarization" / expected[index].first);
        EXPECT_EQ(loads[index].configuration.computeUnits, expected[index].second) << expected[index].first;
    }
    EXPECT_EQ(models.segmentationModel->configuration().computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(models.fbankModel->configuration().computeUnits, ComputeUnits::cpuOnly);
    EXPECT_NE(models.embeddingModel, models.pldaRhoModel);
    EXPECT_EQ(models.pldaPsi, (std::vector<double>{0.5, -2.0, 3.25}));
    EXPECT_GE(models.compilationDuration, 0.0);
    // Both hub loads report to the caller's handler, each up to its end.
    EXPECT_EQ(std::ranges::count_if(reports(), [](const auto& report) { return report.fractionCompleted == 1.0; }), 2);
    const auto logged = modelLines();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0], "Loading offline diarization models from " + root.string());
    EXPECT_TRUE(logged[1].starts_with("Offline diarization models ready (compile: ")) << logged[1];
    EXPECT_TRUE(
        logged[1].ends_with("s, computeUnits: segmentation/embedding/plda=.cpuAndNeuralEngine, fbank=.cpuOnly)"))
        << logged[1];
}

TEST_F(OfflineDiarizerModelsTest, WithoutArgumentsTheModelsRootAndAllUnitsAreUsed) {
    serveModels({1.0f});

    const auto models = OfflineDiarizerModels::load();

    EXPECT_EQ(OfflineDiarizerModels::defaultModelsDirectory(), modelsRoot());
    EXPECT_TRUE(fs::exists(modelsRoot() / "speaker-diarization" / "PldaRho.mlmodelc" / "model.json"));
    EXPECT_EQ(models.pldaRhoModel->configuration().computeUnits, ComputeUnits::all);
    EXPECT_TRUE(modelLines().back().ends_with("plda=.all, fbank=.cpuOnly)")) << modelLines().back();
}

TEST_F(OfflineDiarizerModelsTest, ACancelledFirstLoadKeepsTheCache) {
    serveModels({1.0f});
    const fs::path root = folder / "models";
    OfflineDiarizerModels::load(root);
    kernel.failLoadsWith(std::make_exception_ptr(platform::core::CancellationError()));

    EXPECT_THROW(
        OfflineDiarizerModels::load(root, MLModelConfigurationUtils::defaultConfiguration(ComputeUnits::cpuAndGPU)),
        platform::core::CancellationError);

    for (const char* file : modelFiles) {
        EXPECT_TRUE(fs::exists(root / "speaker-diarization" / file / "coremldata.bin")) << file;
    }
    EXPECT_EQ(std::ranges::count_if(
                  lines(),
                  [](const std::string& line) { return line.starts_with("Load cancelled; preserving model cache. "); }),
              1);
    EXPECT_EQ(std::ranges::count(lines(), "Deleting cache and re-downloading\u2026"), 0);
}

class PldaPsiFileTest : public ::testing::Test {
protected:
    void write(const fs::path& relative, const std::string& text) const {
        fs::create_directories((scratch.path() / relative).parent_path());
        std::ofstream(scratch.path() / relative, std::ios::binary) << text;
    }

    std::vector<double> load() const { return PldaPsiFile::load(scratch.path()); }
    std::string failure() const {
        return testsupport::errorText([this] { load(); });
    }

    testsupport::TemporaryFolder scratch;
};

TEST_F(PldaPsiFileTest, TheCandidatesAreTriedInOrder) {
    const auto& candidates = PldaPsiFile::candidates();
    ASSERT_EQ(candidates.size(), 4u);
    for (std::size_t index = 0; index < candidates.size(); ++index) {
        write(candidates[index], parametersFile({static_cast<float>(index)}));
    }
    for (std::size_t index = 0; index < candidates.size(); ++index) {
        EXPECT_EQ(load(), std::vector<double>{static_cast<double>(index)}) << candidates[index];
        fs::remove(scratch.path() / candidates[index]);
    }
    EXPECT_EQ(candidates[3], fs::path("speaker-diarization-offline/plda-parameters.json"));
}

TEST_F(PldaPsiFileTest, AFolderWithoutParametersIsNamed) {
    write("speaker-diarization/other.json", parametersFile({1.0f}));

    EXPECT_EQ(failure(), "Processing failed: PLDA parameters file not found in " + scratch.path().string());
}

TEST_F(PldaPsiFileTest, TheBase64TextDecodesIntoWholeFloats) {
    const auto tenBytes = packed({1.5f, -0.25f, 7.0f});
    const std::string text = platform::core::base64Encode({tenBytes.begin(), tenBytes.begin() + 10});
    write("plda-parameters.json", parametersWithText(text.substr(0, 6) + "\n" + text.substr(6) + "\r\n"));

    EXPECT_EQ(load(), (std::vector<double>{1.5, -0.25}));
}

TEST_F(PldaPsiFileTest, BrokenParametersAreRefused) {
    const std::string undecodable = "Processing failed: Failed to decode PLDA psi parameters";
    const std::string empty = "Processing failed: PLDA psi tensor is empty";
    const std::vector<std::pair<std::string, std::string>> cases{
        {parametersWithText(platform::core::base64Encode({1, 2, 3})), empty},
        {parametersWithText(""), empty},
        {R"({"tensors": {"psi": {"data_base64": 5}}})", undecodable},
        {R"({"tensors": {"psi": {}}})", undecodable},
        {R"({"tensors": []})", undecodable},
        {R"([1, 2])", undecodable},
        {parametersWithText("AAAA=AAA"), undecodable},
    };
    for (const auto& [file, description] : cases) {
        write("plda-parameters.json", file);
        EXPECT_EQ(failure(), description) << file;
    }
    write("plda-parameters.json", "{not json");
    EXPECT_THROW(load(), nlohmann::json::parse_error);
}

} // namespace
} // namespace quorl
