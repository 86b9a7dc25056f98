#include "QuorlAudio/asr/streaming/StreamingNemotronAsrManager.hpp"

#include "NemotronTestModels.hpp"
#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "StreamingTestAudio.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;

std::size_t chunkSamples(const NemotronStreamingConfig& geometry) {
    return static_cast<std::size_t>(geometry.chunkMelFrames) * 160;
}

std::vector<double> inputValues(const testsupport::ScriptedKernel::Call& call, const std::string& name) {
    return testsupport::valuesOf(*call.inputs.at(name).multiArrayValue());
}

std::vector<std::size_t> inputShape(const testsupport::ScriptedKernel::Call& call, const std::string& name) {
    return call.inputs.at(name).multiArrayValue()->shape();
}

platform::ml::ModelConfiguration configuration(ComputeUnits units) {
    return {.computeUnits = units, .allowLowPrecisionAccumulationOnGPU = false, .functionName = std::nullopt};
}

bool allZero(const std::vector<double>& values) {
    return std::ranges::all_of(values, [](double value) { return value == 0; });
}

class StreamingNemotronAsrManagerTest : public testing::ModelHubTest {
protected:
    std::vector<std::string> engineLines() const { return testing::logLines(sink, "NemotronStreaming"); }

    NemotronTestModels models;
};

TEST_F(StreamingNemotronAsrManagerTest, ANewEngineHasTheBuiltInGeometryAndNoModels) {
    StreamingNemotronAsrManager engine;
    EXPECT_EQ(engine.displayName(), "Nemotron 0.6B (2240ms)");
    EXPECT_EQ(engine.config(), NemotronStreamingConfig{});
    EXPECT_EQ(engine.mlConfiguration().computeUnits, ComputeUnits::cpuAndNeuralEngine);
    EXPECT_TRUE(engine.mlConfiguration().allowLowPrecisionAccumulationOnGPU);
    EXPECT_EQ(engine.getPartialTranscript(), "");
    EXPECT_THROW(engine.processBufferedAudio(), ASRError);
    EXPECT_THROW(engine.finish(), ASRError);
    const std::vector<float> samples(10, 0.5f);
    EXPECT_THROW(engine.process(*monoBuffer(samples)), ASRError);
    // Never loaded, a reset still makes the start states of the current geometry.
    EXPECT_NO_THROW(engine.reset());

    const StreamingNemotronAsrManager given(
        {.configuration = configuration(ComputeUnits::cpuOnly), .requestedChunkSize = std::nullopt});
    EXPECT_EQ(given.mlConfiguration().computeUnits, ComputeUnits::cpuOnly);
}

TEST_F(StreamingNemotronAsrManagerTest, LoadingReadsTheGeometryProbesTheEncoderAndStartsFromFreshStates) {
    StreamingNemotronAsrManager engine(
        {.configuration = configuration(ComputeUnits::cpuAndGPU), .requestedChunkSize = std::nullopt});
    engine.loadModels(models.folder());

    EXPECT_EQ(engine.config(), NemotronTestModels::smallGeometry());
    EXPECT_EQ(engine.displayName(), "Nemotron 0.6B (200ms)");
    for (auto* kernel : {&models.encoder(), &models.decoder(), &models.joint()}) {
        ASSERT_EQ(kernel->loads().size(), 1u) << kernel->name();
        EXPECT_EQ(kernel->loads()[0].configuration.computeUnits, ComputeUnits::cpuAndGPU) << kernel->name();
    }
    EXPECT_EQ(models.encoder().loads()[0].bundlePath, models.folder() / "encoder" / "encoder_int8.mlmodelc");

    const auto probe = models.encoder().calls().at(0);
    const auto mel = inputValues(probe, "mel");
    ASSERT_EQ(inputShape(probe, "mel"), (std::vector<std::size_t>{1, 16, 23}));
    for (const std::size_t index : {0u, 1u, 16u, 17u, 367u}) {
        EXPECT_FLOAT_EQ(static_cast<float>(mel[index]), static_cast<float>(index % 17) * 0.01f + 0.1f) << index;
    }
    EXPECT_EQ(inputValues(probe, "mel_length"), std::vector<double>{23});
    EXPECT_EQ(inputValues(probe, "cache_len"), std::vector<double>{1});
    EXPECT_EQ(inputShape(probe, "cache_channel"), (std::vector<std::size_t>{1, 2, 3, 4}));
    EXPECT_TRUE(allZero(inputValues(probe, "cache_time")));

    // The probe's cache outputs are dropped: the first chunk starts from the states of a reset.
    const std::vector<float> chunk(chunkSamples(models.geometry()), 0.25f);
    engine.appendAudio(*monoBuffer(chunk));
    engine.processBufferedAudio();
    const auto first = models.encoder().calls().at(1);
    EXPECT_EQ(inputValues(first, "cache_len"), std::vector<double>{1});
    EXPECT_TRUE(allZero(inputValues(first, "cache_channel")));
    const auto step = models.decoder().calls().at(0);
    EXPECT_EQ(inputValues(step, "token"), std::vector<double>{6});
    EXPECT_EQ(inputValues(step, "token_length"), std::vector<double>{1});
    EXPECT_EQ(inputShape(step, "h_in"), (std::vector<std::size_t>{2, 1, 4}));
    EXPECT_TRUE(allZero(inputValues(step, "h_in")));
    EXPECT_TRUE(allZero(inputValues(step, "c_in")));

    const auto lines = engineLines();
    EXPECT_EQ(lines.front(), "Loading Nemotron CoreML models from " + models.folder().string() + "...");
    EXPECT_EQ(std::ranges::count(lines, "Loaded config: 200ms chunks, 20 mel frames"), 1);
    EXPECT_EQ(std::ranges::count(lines, "Nemotron models loaded successfully (200ms chunks)."), 1);
}

TEST_F(StreamingNemotronAsrManagerTest, AFolderWithoutMetadataKeepsTheCurrentGeometry) {
    const NemotronTestModels builtIn(NemotronStreamingConfig{});
    ASSERT_FALSE(fs::exists(builtIn.folder() / "metadata.json"));
    StreamingNemotronAsrManager engine;
    engine.loadModels(builtIn.folder());
    EXPECT_EQ(engine.config(), NemotronStreamingConfig{});
    EXPECT_EQ(std::ranges::count_if(engineLines(), [](const auto& line) { return line.starts_with("Loaded config"); }),
              0);
}

TEST_F(StreamingNemotronAsrManagerTest, AnEncoderThatAnswersZerosFailsTheLoad) {
    models.answerZerosOnce();
    StreamingNemotronAsrManager engine;
    try {
        engine.loadModels(models.folder());
        ADD_FAILURE() << "loaded";
    } catch (const ASRError& error) {
        EXPECT_EQ(error.kind(), ASRError::Kind::encoderInstantiationFailed);
        EXPECT_TRUE(std::string(error.what())
                        .starts_with("Encoder ANE program failed to instantiate: Nemotron int8 "
                                     "encoder returned all-zero output on a load-time probe"))
            << error.what();
    }
    models.omitOutputs({"encoded"});
    try {
        engine.loadModels(models.folder());
        ADD_FAILURE() << "loaded";
    } catch (const ASRError& error) {
        EXPECT_EQ(error.message(), "Encoder probe produced no `encoded` output");
    }
}

TEST_F(StreamingNemotronAsrManagerTest, AFusedModelLoadedOnceStaysUntilCleanup) {
    models.writeFusedModel();
    StreamingNemotronAsrManager engine;
    engine.loadModels(models.folder());
    EXPECT_EQ(std::ranges::count(engineLines(), "Loaded fused decoder_joint (B1) — merged inner-loop path enabled"), 1);
    NemotronTestModels plain;
    engine.loadModels(plain.folder());
    const std::vector<float> chunk(chunkSamples(models.geometry()), 0.25f);
    engine.appendAudio(*monoBuffer(chunk));
    engine.processBufferedAudio();
    EXPECT_FALSE(models.fused().calls().empty());
    EXPECT_TRUE(plain.decoder().calls().empty());

    engine.cleanup();
    engine.loadModels(plain.folder());
    engine.appendAudio(*monoBuffer(chunk));
    engine.processBufferedAudio();
    EXPECT_FALSE(plain.decoder().calls().empty());
}

TEST_F(StreamingNemotronAsrManagerTest, CleanupDropsTheModelsAndKeepsTheCallback) {
    StreamingNemotronAsrManager engine;
    engine.loadModels(models.folder());
    std::vector<std::string> transcripts;
    engine.setPartialCallback([&](const std::string& text) { transcripts.push_back(text); });
    engine.cleanup();
    EXPECT_EQ(std::ranges::count(engineLines(), "StreamingNemotronAsrManager resources cleaned up"), 1);
    EXPECT_EQ(engine.config(), NemotronTestModels::smallGeometry());
    EXPECT_THROW(engine.processBufferedAudio(), ASRError);
    EXPECT_EQ(engine.getPartialTranscript(), "");

    engine.loadModels(models.folder());
    // Two probes came before this chunk.
    models.script(2, 0, {3});
    const std::vector<float> chunk(chunkSamples(models.geometry()), 0.25f);
    engine.appendAudio(*monoBuffer(chunk));
    engine.processBufferedAudio();
    EXPECT_EQ(transcripts, std::vector<std::string>{"world"});
}

TEST_F(StreamingNemotronAsrManagerTest, DownloadsTheRequestedChunkSizesFolderOnceAndLoadsIt) {
    struct Case {
        std::optional<NemotronChunkSize> requested;
        Repo repository;
    };
    // The repository's required set holds the fused model.
    models.writeFusedModel();
    for (const auto& c : {Case{std::nullopt, Repo::nemotronStreaming2240},
                          Case{NemotronChunkSize::ms560, Repo::nemotronStreaming560}}) {
        serveFolder(c.repository, models.folder());
        const fs::path modelFolder = modelsRoot() / folderName(c.repository);
        StreamingNemotronAsrManager engine({.configuration = std::nullopt, .requestedChunkSize = c.requested});
        std::vector<DownloadProgress> progress;
        engine.loadModels(std::nullopt, configuration(ComputeUnits::cpuOnly),
                          [&](const DownloadProgress& report) { progress.push_back(report); });
        EXPECT_TRUE(fs::exists(modelFolder / "encoder" / "encoder_int8.mlmodelc" / "model.json")) << modelFolder;
        EXPECT_FALSE(progress.empty());
        EXPECT_EQ(engine.mlConfiguration().computeUnits, ComputeUnits::cpuOnly);
        EXPECT_EQ(engine.config(), NemotronTestModels::smallGeometry());
        EXPECT_EQ(models.encoder().loads().back().bundlePath, modelFolder / "encoder" / "encoder_int8.mlmodelc");
        EXPECT_EQ(std::ranges::count(engineLines(), "Downloading Nemotron models to " + modelsRoot().string() + "..."),
                  c.requested ? 2 : 1);

        const auto requests = hub.requests().size();
        StreamingNemotronAsrManager again({.configuration = std::nullopt, .requestedChunkSize = c.requested});
        again.loadModels();
        EXPECT_EQ(hub.requests().size(), requests);
        EXPECT_EQ(std::ranges::count(engineLines(), "Using cached Nemotron models at " + modelFolder.string()), 1);
    }
}

TEST_F(StreamingNemotronAsrManagerTest, AFolderWithTheEncoderIsNeverDownloadedAgain) {
    const fs::path base = folder / "models";
    const fs::path modelFolder = base / folderName(Repo::nemotronStreaming2240);
    fs::create_directories(modelFolder / "encoder");
    fs::copy(models.folder() / "encoder", modelFolder / "encoder", fs::copy_options::recursive);
    StreamingNemotronAsrManager engine;
    EXPECT_ANY_THROW(engine.loadModels(base, std::nullopt, {}));
    EXPECT_TRUE(hub.requests().empty());
}

} // namespace
} // namespace quorl
