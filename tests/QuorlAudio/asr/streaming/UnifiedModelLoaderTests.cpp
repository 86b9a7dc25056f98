#include "QuorlAudio/asr/streaming/StreamingUnifiedAsrManager.hpp"
#include "QuorlAudio/asr/streaming/UnifiedAsrManager.hpp"

#include "StreamingTestAudio.hpp"
#include "UnifiedTestModels.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace files = ModelNames::ParakeetUnified;
using platform::ml::ComputeUnits;

platform::ml::ModelConfiguration configuration(ComputeUnits units) {
    return {.computeUnits = units, .allowLowPrecisionAccumulationOnGPU = false, .functionName = std::nullopt};
}

class UnifiedModelLoaderTest : public testing::ModelHubTest {
protected:
    static fs::path setFolder() { return modelsRoot() / "parakeet-unified-en-0.6b"; }

    std::vector<std::string> engineLines(const std::string& category) const {
        return testing::logLines(sink, category);
    }

    bool requested(const std::string& file) const {
        return std::ranges::any_of(hub.requests(), [&](const auto& request) {
            return request.path.find("/resolve/main/" + file + "/") != std::string::npos;
        });
    }

    UnifiedTestModels models;
};

TEST_F(UnifiedModelLoaderTest, TheStreamingEngineDownloadsTheBaseSetWithItsOwnEncoderOnceAndLoadsIt) {
    serveFolder(Repo::parakeetUnified, models.folder());
    StreamingUnifiedAsrManager engine;
    engine.loadModels(std::nullopt, std::nullopt, recordProgress());

    for (const auto file : {files::decoderFile, files::jointDecisionFile, files::vocab, files::metadata,
                            files::streamingEncoderInt8File}) {
        EXPECT_TRUE(fs::exists(setFolder() / file)) << file;
    }
    EXPECT_FALSE(fs::exists(setFolder() / files::offlineEncoderInt8File));
    EXPECT_FALSE(reports().empty());
    EXPECT_EQ(engineLines("UnifiedStreaming"),
              (std::vector<std::string>{"Downloading Parakeet Unified models to " + modelsRoot().string() + "...",
                                        "Loading Parakeet Unified CoreML models from " + setFolder().string() + "...",
                                        "Parakeet Unified models loaded (latency 2080ms)."}));
    EXPECT_EQ(models.encoder().loads().back().bundlePath, setFolder() / files::streamingEncoderInt8File);

    const auto requests = hub.requests().size();
    StreamingUnifiedAsrManager again;
    again.loadModels();
    EXPECT_EQ(hub.requests().size(), requests);
    EXPECT_EQ(engineLines("UnifiedStreaming").at(3), "Using cached Parakeet Unified models at " + setFolder().string());
}

TEST_F(UnifiedModelLoaderTest, AnotherGeometryDownloadsAgainForItsOwnEncoder) {
    const UnifiedConfig geometry{.chunkFrames = 7, .rightFrames = 7};
    models.writeStreamingEncoder(geometry, UnifiedEncoderPrecision::int8);
    serveFolder(Repo::parakeetUnified, models.folder());
    StreamingUnifiedAsrManager{}.loadModels();
    EXPECT_FALSE(requested("parakeet_unified_encoder_streaming_70_7_7_int8.mlmodelc"));

    StreamingUnifiedAsrManager other({.configuration = std::nullopt, .config = geometry});
    other.loadModels();
    EXPECT_TRUE(requested("parakeet_unified_encoder_streaming_70_7_7_int8.mlmodelc"));
    EXPECT_EQ(std::ranges::count_if(engineLines("UnifiedStreaming"),
                                    [](const std::string& line) { return line.starts_with("Downloading "); }),
              2);
    EXPECT_EQ(engineLines("UnifiedStreaming").back(), "Parakeet Unified models loaded (latency 1120ms).");
}

TEST_F(UnifiedModelLoaderTest, TheOfflineRecogniserAtHalfPrecisionDownloadsItsVariantAndLoadsItsEncoder) {
    models.writeOfflineEncoder(UnifiedEncoderPrecision::fp16);
    serveFolder(Repo::parakeetUnified, models.folder());
    UnifiedAsrManager recogniser(
        {.configuration = std::nullopt, .config = {}, .encoderPrecision = UnifiedEncoderPrecision::fp16});
    recogniser.loadModels();
    EXPECT_TRUE(fs::exists(setFolder() / files::offlineEncoderFp16File));
    EXPECT_FALSE(fs::exists(setFolder() / files::offlineEncoderInt8File));
    EXPECT_FALSE(fs::exists(setFolder() / files::streamingEncoderInt8File));
    EXPECT_EQ(models.encoder().loads().back().bundlePath, setFolder() / files::offlineEncoderFp16File);
    EXPECT_EQ(
        engineLines("UnifiedOffline"),
        (std::vector<std::string>{"Downloading Parakeet Unified offline models to " + modelsRoot().string() + "...",
                                  "Loading Parakeet Unified offline CoreML models from " + setFolder().string() + "...",
                                  "Parakeet Unified offline models loaded (15 s window, 2 s overlap)."}));
}

TEST_F(UnifiedModelLoaderTest, TheEightBitEncoderNeverGoesOnTheGpuAndTheStepsStayOnTheCpu) {
    struct Case {
        ComputeUnits asked;
        UnifiedEncoderPrecision precision;
        ComputeUnits encoder;
    };
    models.writeStreamingEncoder({}, UnifiedEncoderPrecision::fp16);
    for (const auto& c : {Case{ComputeUnits::all, UnifiedEncoderPrecision::int8, ComputeUnits::cpuAndNeuralEngine},
                          Case{ComputeUnits::all, UnifiedEncoderPrecision::fp16, ComputeUnits::all},
                          Case{ComputeUnits::cpuAndGPU, UnifiedEncoderPrecision::int8, ComputeUnits::cpuOnly},
                          Case{ComputeUnits::cpuAndGPU, UnifiedEncoderPrecision::fp16, ComputeUnits::cpuAndGPU},
                          Case{ComputeUnits::cpuOnly, UnifiedEncoderPrecision::int8, ComputeUnits::cpuOnly}}) {
        StreamingUnifiedAsrManager engine(
            {.configuration = configuration(c.asked), .config = {}, .encoderPrecision = c.precision});
        engine.loadModels(models.folder());
        EXPECT_EQ(models.encoder().loads().back().configuration.computeUnits, c.encoder);
        EXPECT_EQ(models.decoder().loads().back().configuration.computeUnits, ComputeUnits::cpuOnly);
        EXPECT_EQ(models.joint().loads().back().configuration.computeUnits, ComputeUnits::cpuOnly);
        EXPECT_EQ(engine.mlConfiguration().computeUnits, c.asked);
    }
}

TEST_F(UnifiedModelLoaderTest, ASetWithTheEncoderCountsAsCachedAndAFailedLoadLeavesAnEngineThatRefuses) {
    fs::create_directories(setFolder());
    fs::copy(models.folder() / files::streamingEncoderInt8File, setFolder() / files::streamingEncoderInt8File,
             fs::copy_options::recursive);
    StreamingUnifiedAsrManager engine;
    EXPECT_ANY_THROW(engine.loadModels());
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_EQ(models.encoder().loads().size(), 1u);
    engine.appendAudio(*monoBuffer(std::vector<float>(40000, 0.1f)));
    EXPECT_EQ(testsupport::errorText([&] { engine.processBufferedAudio(); }),
              "AsrManager not initialized. Call initialize() first.");
}

} // namespace
} // namespace quorl
