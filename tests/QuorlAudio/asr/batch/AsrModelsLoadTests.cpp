#include "AsrModelsTest.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/AsrModelsError.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/support/LoopbackHub.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::ml::ModelConfiguration;

ModelConfiguration configurationFor(ComputeUnits units) {
    return ModelConfiguration{.computeUnits = units, .allowLowPrecisionAccumulationOnGPU = false, .functionName = {}};
}

class AsrModelsLoadTest : public testing::AsrModelsTest {
protected:
    AsrModels load(AsrModelVersion version, const AsrModels::ModelHubLoader& loader) {
        return AsrModels::load(folderOf(version),
                               {.version = version, .encoderPrecision = ParakeetEncoderPrecision::int8},
                               recordProgress(), loader);
    }

    std::size_t linesCalled(const std::string& text) const {
        return static_cast<std::size_t>(std::ranges::count(modelSetLines(), text));
    }

    // The CTC repository of context biasing: its own models on the hub, without a CTC head unless asked.
    void serveCtcRepository(bool withHead) {
        for (const auto& name : ModelNames::CTC::requiredModels()) {
            putBundle(Repo::parakeetCtc110m, name, kernel.name());
        }
        if (withHead) {
            putBundle(Repo::parakeetCtc110m, "CtcHead.mlmodelc", kernel.name());
        }
    }

    const fs::path ctcFolder = modelsRoot() / "parakeet-ctc-110m-coreml";
};

TEST_F(AsrModelsLoadTest, LoadsEachFileOfTheVersionWithItsComputeUnitsAndVariant) {
    using Files = std::vector<std::pair<std::string, ComputeUnits>>;
    const auto neuralEngine = ComputeUnits::cpuAndNeuralEngine;
    const auto gpu = ComputeUnits::cpuAndGPU;
    const struct {
        AsrModelVersion version;
        ParakeetEncoderPrecision precision;
        std::optional<ModelConfiguration> configuration;
        std::optional<ComputeUnits> encoderComputeUnits;
        Files files; // in load order
        std::optional<std::string> variant;
    } cases[] = {
        {AsrModelVersion::v3, ParakeetEncoderPrecision::int8, std::nullopt, std::nullopt,
         Files{{"Preprocessor.mlmodelc", ComputeUnits::cpuOnly},
               {"Encoder.mlmodelc", neuralEngine},
               {"Decoder.mlmodelc", neuralEngine},
               {"JointDecisionv3.mlmodelc", neuralEngine}},
         "int8"},
        {AsrModelVersion::v3, ParakeetEncoderPrecision::int4, configurationFor(gpu), ComputeUnits::all,
         Files{{"Preprocessor.mlmodelc", ComputeUnits::cpuOnly},
               {"EncoderInt4.mlmodelc", ComputeUnits::all},
               {"Decoder.mlmodelc", gpu},
               {"JointDecisionv3.mlmodelc", gpu}},
         "int4"},
        {AsrModelVersion::v2, ParakeetEncoderPrecision::int4, configurationFor(gpu), std::nullopt,
         Files{{"Preprocessor.mlmodelc", ComputeUnits::cpuOnly},
               {"Encoder.mlmodelc", gpu},
               {"Decoder.mlmodelc", gpu},
               {"JointDecision.mlmodelc", gpu}},
         std::nullopt},
        {AsrModelVersion::tdtJa, ParakeetEncoderPrecision::int8, configurationFor(ComputeUnits::all), std::nullopt,
         Files{{"Preprocessor.mlmodelc", ComputeUnits::cpuOnly},
               {"Encoder.mlmodelc", ComputeUnits::all},
               {"Decoderv2.mlmodelc", ComputeUnits::all},
               {"Jointerv2.mlmodelc", ComputeUnits::all}},
         std::nullopt},
        {AsrModelVersion::tdtCtc110m, ParakeetEncoderPrecision::int8, configurationFor(gpu), std::nullopt,
         Files{{"Preprocessor.mlmodelc", gpu}, {"Decoder.mlmodelc", gpu}, {"JointDecision.mlmodelc", gpu}},
         std::nullopt},
    };
    for (const auto& c : cases) {
        const std::string name(description(c.version));
        cacheVersion(c.version, c.precision);
        const bool fused = c.version == AsrModelVersion::tdtCtc110m;
        if (fused) {
            cacheBundle(folderOf(c.version), "CtcHead.mlmodelc", kernel.name());
        }
        const auto bundlesBefore = loadedBundles().size();
        const auto runsBefore = progressRuns();
        std::vector<HubCall> calls;

        const auto models = AsrModels::load(modelsRoot() / "elsewhere",
                                            {.configuration = c.configuration,
                                             .version = c.version,
                                             .encoderPrecision = c.precision,
                                             .encoderComputeUnits = c.encoderComputeUnits},
                                            recordProgress(), recordingLoader(calls));

        std::vector<HubCall> expectedCalls;
        std::vector<std::pair<fs::path, ComputeUnits>> expectedBundles;
        for (const auto& [file, units] : c.files) {
            expectedCalls.push_back({.repo = quorl::repo(c.version),
                                     .modelNames = {file},
                                     .directory = modelsRoot(),
                                     .computeUnits = units,
                                     .variant = c.variant});
            expectedBundles.emplace_back(folderOf(c.version) / file, units);
        }
        if (fused) {
            expectedBundles.emplace_back(folderOf(c.version) / "CtcHead.mlmodelc", gpu);
        }
        EXPECT_EQ(calls, expectedCalls) << name;
        const auto bundles = loadedBundles();
        EXPECT_EQ(std::vector(bundles.begin() + static_cast<std::ptrdiff_t>(bundlesBefore), bundles.end()),
                  expectedBundles)
            << name;
        EXPECT_EQ(progressRuns() - runsBefore, c.files.size()) << name;

        EXPECT_EQ(models.encoder == nullptr, fused) << name;
        EXPECT_EQ(models.ctcHead != nullptr, fused) << name;
        EXPECT_TRUE(models.preprocessor && models.decoder && models.joint) << name;
        EXPECT_EQ(models.version, c.version) << name;
        EXPECT_EQ(models.vocabulary.size(), 2u) << name;
        const auto chosen = c.configuration.value_or(AsrModels::defaultConfiguration());
        EXPECT_EQ(models.configuration.computeUnits, chosen.computeUnits) << name;
        EXPECT_EQ(models.configuration.allowLowPrecisionAccumulationOnGPU, c.configuration == std::nullopt) << name;
    }
    EXPECT_FALSE(kernel.loads().back().configuration.allowLowPrecisionAccumulationOnGPU);
    EXPECT_EQ(linesCalled("Loaded Preprocessor.mlmodelc with compute units: cpuOnly"), 4u);
    EXPECT_EQ(linesCalled("Loaded EncoderInt4.mlmodelc with compute units: all"), 1u);
    EXPECT_EQ(linesCalled("Loaded Preprocessor.mlmodelc with compute units: cpuAndGPU"), 1u);
    EXPECT_EQ(linesCalled("Loaded JointDecisionv3.mlmodelc"), 2u);
    EXPECT_EQ(linesCalled("[Beta] Loaded CTC head model from local directory"), 1u);
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(AsrModelsLoadTest, ComputeUnitsOutsideTheFourCasesAreNamedByTheirCode) {
    cacheVersion(AsrModelVersion::v2);

    AsrModels::load(folderOf(AsrModelVersion::v2),
                    {.version = AsrModelVersion::v2,
                     .encoderPrecision = ParakeetEncoderPrecision::int8,
                     .encoderComputeUnits = static_cast<ComputeUnits>(7)},
                    {});

    EXPECT_EQ(linesCalled("Loaded Encoder.mlmodelc with compute units: unknown(7)"), 1u);
}

TEST_F(AsrModelsLoadTest, AModelMissingFromTheHubsAnswerFailsWithItsMessage) {
    const std::string v3Joint = "Failed to load joint model JointDecisionv3.mlmodelc (required for v3; delete the "
                                "models directory to force a fresh download)";
    const struct {
        AsrModelVersion version;
        std::string withheld;
        std::string message;
        std::size_t calls;
    } cases[] = {
        {AsrModelVersion::v3, "JointDecisionv3.mlmodelc", v3Joint, 4},
        {AsrModelVersion::v2, "JointDecision.mlmodelc", "Failed to load joint model JointDecision.mlmodelc", 4},
        {AsrModelVersion::v2, "Preprocessor.mlmodelc", "Failed to load preprocessor model", 2},
        {AsrModelVersion::tdtJa, "Encoder.mlmodelc", "Failed to load encoder model (required for split frontend)", 2},
        {AsrModelVersion::tdtJa, "Decoderv2.mlmodelc", "Failed to load decoder model", 3},
        {AsrModelVersion::tdtCtc110m, "Preprocessor.mlmodelc", "Failed to load preprocessor model", 1},
    };
    for (const auto& c : cases) {
        cacheVersion(c.version);
        std::vector<HubCall> calls;
        try {
            load(c.version, recordingLoader(calls, c.withheld));
            ADD_FAILURE() << c.withheld << " was not missed";
        } catch (const AsrModelsError& error) {
            EXPECT_EQ(error.kind(), AsrModelsError::Kind::loadingFailed);
            EXPECT_EQ(std::string(error.what()), "Failed to load ASR models: " + c.message);
        }
        EXPECT_EQ(calls.size(), c.calls) << c.withheld;
    }
}

TEST_F(AsrModelsLoadTest, ErrorsOfTheHubReachTheCallerUnwrapped) {
    modelHub.setOfflineMode(true);

    try {
        load(AsrModelVersion::v3, AsrModels::hubLoader(modelHub));
        FAIL() << "expected the hub's error";
    } catch (const DownloadError& error) {
        EXPECT_EQ(error.kind(), DownloadError::Kind::modelMissing);
    }
}

TEST_F(AsrModelsLoadTest, TheDefaultFolderAnySiblingTheCacheAndAutoRecoveryLoadTheSameFiles) {
    cacheVersion(AsrModelVersion::v3);
    const auto v3 = AsrModelVersion::v3;
    const auto int8 = ParakeetEncoderPrecision::int8;

    AsrModels::load(AsrModels::defaultCacheDirectory(v3), {.version = v3, .encoderPrecision = int8}, {});
    const auto firstLoad = loadedBundles();
    ASSERT_EQ(firstLoad.size(), 4u);
    AsrModels::load(modelsRoot() / "anything", {.version = v3, .encoderPrecision = int8}, {});
    AsrModels::loadFromCache(std::nullopt, v3, std::nullopt, {});
    AsrModels::loadWithAutoRecovery(std::nullopt, std::nullopt, std::nullopt, {});
    AsrModels::loadWithAutoRecovery(modelsRoot() / "other", std::nullopt, std::nullopt, {});

    const auto bundles = loadedBundles();
    ASSERT_EQ(bundles.size(), 20u);
    for (std::size_t index = 4; index < bundles.size(); ++index) {
        EXPECT_EQ(bundles[index], firstLoad[index % 4]) << index;
    }
    EXPECT_EQ(modelSetLines().front(), "Loading ASR models from: " + AsrModels::defaultCacheDirectory(v3).string());
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(AsrModelsLoadTest, ACtcHeadThatFailsLocallyIsFetchedFromTheCtcRepository) {
    cacheVersion(AsrModelVersion::tdtCtc110m);
    const fs::path localHead = folderOf(AsrModelVersion::tdtCtc110m) / "CtcHead.mlmodelc";
    cacheBundle(folderOf(AsrModelVersion::tdtCtc110m), "CtcHead.mlmodelc", kernel.name());
    fs::remove(localHead / "coremldata.bin");
    serveCtcRepository(true);

    const auto models = load(AsrModelVersion::tdtCtc110m, AsrModels::hubLoader(modelHub));

    ASSERT_NE(models.ctcHead, nullptr);
    EXPECT_EQ(kernel.loads().back().bundlePath, ctcFolder / "CtcHead.mlmodelc");
    EXPECT_EQ(kernel.loads().back().configuration.computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_EQ(linesCalled("CTC head model found but failed to load: " + localHead.string()), 1u);
    EXPECT_EQ(linesCalled("[Beta] Loaded CTC head model from HF repo"), 1u);
}

// The CTC repository's folder is the context-biasing cache: a hub without a CTC head must leave it alone.
TEST_F(AsrModelsLoadTest, WithoutACtcHeadAnywhereTheSetLoadsAndTheCtcCacheStays) {
    cacheVersion(AsrModelVersion::tdtCtc110m);
    for (const auto& name : ModelNames::CTC::requiredModels()) {
        cacheBundle(ctcFolder, name, kernel.name());
    }
    writeFile(ctcFolder / "vocab.json", "[]");

    // First a hub that does not know the CTC repository, then one that has it without a head.
    for (const bool repositoryServed : {false, true}) {
        if (repositoryServed) {
            serveCtcRepository(false);
        }
        const auto warningsBefore = modelSetLines().size();

        const auto models = load(AsrModelVersion::tdtCtc110m, AsrModels::hubLoader(modelHub));

        EXPECT_EQ(models.ctcHead, nullptr);
        EXPECT_NE(models.decoder, nullptr);
        const auto lines = modelSetLines();
        const auto warnings = std::ranges::count_if(
            lines.begin() + static_cast<std::ptrdiff_t>(warningsBefore), lines.end(),
            [](const std::string& line) { return line.starts_with("CTC head model not available: "); });
        EXPECT_EQ(warnings, 1) << repositoryServed;
    }
    EXPECT_EQ(linesCalled("CTC head model not available: Model file not found: CtcHead.mlmodelc"), 1u);
    EXPECT_TRUE(fs::exists(ctcFolder / "vocab.json"));
    EXPECT_TRUE(fs::exists(ctcFolder / "AudioEncoder.mlmodelc" / "coremldata.bin"));
    EXPECT_EQ(std::ranges::count(lines(), "Deleting cache and re-downloading\u2026"), 0);
    EXPECT_TRUE(hub.requestsFor(testsupport::LoopbackHub::filePath(remotePath(Repo::parakeetCtc110m),
                                                                   "AudioEncoder.mlmodelc/coremldata.bin"))
                    .empty());
}

TEST_F(AsrModelsLoadTest, ACancelledCtcHeadFetchEndsTheLoad) {
    cacheVersion(AsrModelVersion::tdtCtc110m);
    serveCtcRepository(true);
    platform::core::CancellationSource source;
    source.cancel();
    const platform::core::Task::Scope scope(source.token());

    try {
        load(AsrModelVersion::tdtCtc110m, AsrModels::hubLoader(modelHub));
        FAIL() << "expected the cancellation";
    } catch (...) {
        EXPECT_TRUE(RetryPolicy::isCancellation(std::current_exception()));
    }
    EXPECT_EQ(linesCalled("Loaded JointDecision.mlmodelc"), 1u);
    EXPECT_FALSE(std::ranges::any_of(
        modelSetLines(), [](const std::string& line) { return line.starts_with("CTC head model not available: "); }));
}

} // namespace
} // namespace quorl
