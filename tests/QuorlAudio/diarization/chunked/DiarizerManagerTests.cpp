#include "QuorlAudio/diarization/chunked/DiarizerManager.hpp"

#include "QuorlAudio/diarization/chunked/DiarizationDER.hpp"
#include "QuorlAudio/foundation/DiarizerError.hpp"
#include "tests/QuorlAudio/diarization/chunked/ChunkedTestModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace quorl {
namespace {

using testsupport::ScriptedKernel;
namespace models = testing::ChunkedTestModels;

constexpr double step = DiarizerManager::frameStep;
const std::string notInitialized = "Diarization system not initialized. Call initialize() first.";

std::vector<std::string> speakerIdsOf(const DiarizationResult& result) {
    std::vector<std::string> ids;
    for (const auto& segment : result.segments) {
        ids.push_back(segment.speakerId);
    }
    return ids;
}

std::vector<DERSpeakerSegment> hypothesisOf(const DiarizationResult& result) {
    std::vector<DERSpeakerSegment> segments;
    for (const auto& segment : result.segments) {
        segments.push_back({segment.speakerId, segment.startTimeSeconds, segment.endTimeSeconds});
    }
    return segments;
}

class DiarizerManagerTest : public ::testing::Test {
protected:
    DiarizerManager& ready(const DiarizerConfig& config = {}) {
        manager = std::make_unique<DiarizerManager>(config);
        manager->initialize(loadedModels);
        return *manager;
    }

    DiarizationResult diarize(std::span<const float> samples, double atTime = 0) {
        return manager->performCompleteDiarization(samples, 16000, atTime,
                                                   [this](double fraction) { progress.push_back(fraction); });
    }

    std::vector<double> segmentationInput(std::size_t call) const {
        return testsupport::valuesOf(*segmentation.calls().at(call).inputs.at("audio").multiArrayValue());
    }

    testsupport::TemporaryFolder folder;
    ScriptedKernel segmentation{"chunked-pipeline-segmentation", models::voiceSegments};
    ScriptedKernel embedding{"chunked-pipeline-embedding", models::voiceEmbedding};
    DiarizerModels loadedModels =
        DiarizerModels::load(models::writeSegmentationBundle(folder.path(), segmentation.name()),
                             models::writeEmbeddingBundle(folder.path(), embedding.name()));
    std::unique_ptr<DiarizerManager> manager;
    std::vector<double> progress;
};

TEST_F(DiarizerManagerTest, ARecordingIsDiarizedInChunksOnTheCallersTimeline) {
    ready();
    const auto samples = models::recording(25, {{1, 1, 5}, {1, 11, 15}, {1, 21, 24}});
    const auto result = diarize(samples, 100);

    EXPECT_EQ(progress, (std::vector<double>{0.4, 0.8, 1.0, 1.0}));
    ASSERT_EQ(segmentation.calls().size(), 3u);
    const auto lastChunk = segmentationInput(2);
    EXPECT_EQ(lastChunk[79999], 0.0);
    EXPECT_EQ(std::set<double>(lastChunk.begin() + 80000, lastChunk.end()), std::set<double>{0.0});
    // The voice starts at sample 16000 of each chunk, first heard by frame 60 (sample 16200).
    ASSERT_EQ(result.segments.size(), 3u);
    for (std::size_t chunk = 0; chunk < 3; ++chunk) {
        EXPECT_EQ(result.segments[chunk].speakerId, "1");
        EXPECT_EQ(result.segments[chunk].startTimeSeconds, static_cast<float>(100 + 10.0 * chunk + step * 60));
    }
    EXPECT_EQ(result.segments[0].endTimeSeconds, static_cast<float>(100 + step * 297));
    EXPECT_EQ(result.segments[2].endTimeSeconds, static_cast<float>(120 + step * 238));
    EXPECT_FALSE(result.speakerDatabase.has_value());
    EXPECT_FALSE(result.timings.has_value());
    EXPECT_FALSE(result.chunkEmbeddings.has_value());
}

TEST_F(DiarizerManagerTest, ShortChunksAreFedToTheModelAsFullInputs) {
    ready({.chunkDuration = 2.5f, .chunkOverlap = 0.4f});
    diarize(models::recording(10, {{1, 0, 10}}));
    EXPECT_EQ(progress, (std::vector<double>{0.3, 0.6, 0.9, 1.0, 1.0}));
    ASSERT_EQ(segmentation.calls().size(), 4u);
    for (std::size_t call = 0; call < 4; ++call) {
        const auto audio = segmentationInput(call);
        EXPECT_EQ(audio[call < 3 ? 47999 : 15999], 0.1f);
        EXPECT_EQ(std::set<double>(audio.begin() + (call < 3 ? 48000 : 16000), audio.end()), std::set<double>{0.0});
    }
}

TEST_F(DiarizerManagerTest, SpeakerIdsStayStableAcrossCallsAndMatchTheVoices) {
    ready();
    const std::vector<models::VoiceSpan> spans{{1, 0.5, 4}, {2, 5, 9}, {1, 10.5, 14}, {2, 15, 19.5}};
    const auto samples = models::recording(20, spans);

    const auto first = diarize(samples);
    const auto second = diarize(samples);
    EXPECT_EQ(speakerIdsOf(first), (std::vector<std::string>{"1", "2", "1", "2"}));
    EXPECT_EQ(speakerIdsOf(second), speakerIdsOf(first));
    EXPECT_EQ(manager->speakerManager().speakerIds(), (std::vector<std::string>{"1", "2"}));

    const auto third = diarize(models::recording(10, {{3, 1, 6}}));
    EXPECT_EQ(speakerIdsOf(third), (std::vector<std::string>{"3"}));

    std::vector<DERSpeakerSegment> reference;
    for (const auto& [voice, start, end] : spans) {
        reference.push_back({voice == 1 ? "A" : "B", start, end});
    }
    const auto score = DiarizationDER::compute(reference, hypothesisOf(first), 0.01, 0.25);
    EXPECT_EQ(score.mapping, (std::map<std::string, std::string>{{"1", "A"}, {"2", "B"}}));
    EXPECT_EQ(score.confusion, 0.0);
    EXPECT_LT(score.der, 0.02);
}

TEST_F(DiarizerManagerTest, ConfigurationsTheModelCannotServeAreRefusedBeforeAnyChunk) {
    struct Case {
        DiarizerConfig config;
        int sampleRate;
    };
    const auto samples = models::recording(25, {{1, 1, 5}});
    for (const auto& [config, sampleRate] : {Case{{}, 44100}, Case{{.chunkDuration = 12}, 16000},
                                             Case{{.chunkOverlap = -2}, 16000}, Case{{.chunkOverlap = 10}, 16000}}) {
        auto& diarizer = ready(config);
        try {
            diarizer.performCompleteDiarization(samples, sampleRate, 0,
                                                [this](double fraction) { progress.push_back(fraction); });
            ADD_FAILURE() << "nothing thrown";
        } catch (const DiarizerError& error) {
            EXPECT_EQ(error.kind(), DiarizerError::Kind::processingFailed) << error.what();
        }
    }
    EXPECT_TRUE(segmentation.calls().empty());
    EXPECT_TRUE(progress.empty());
}

TEST_F(DiarizerManagerTest, NoChunkStillReportsCompletion) {
    ready({.chunkDuration = 3, .chunkOverlap = 5});
    EXPECT_TRUE(diarize(models::recording(25, {{1, 1, 5}})).segments.empty());
    ready();
    EXPECT_TRUE(diarize(std::vector<float>{}).segments.empty());
    EXPECT_EQ(progress, (std::vector<double>{1.0, 1.0}));
    EXPECT_TRUE(segmentation.calls().empty());
}

TEST_F(DiarizerManagerTest, DebugModeAddsTheDatabaseAndTheTimings) {
    ready({.debugMode = true});
    Speaker known({.id = "7", .currentEmbedding = models::embeddingOf(3)});
    manager->initializeKnownSpeakers({known});
    const auto result = diarize(models::recording(10, {{1, 1, 5}}));
    ASSERT_TRUE(result.speakerDatabase.has_value());
    EXPECT_EQ(*result.speakerDatabase, (std::map<std::string, std::vector<float>>{{"7", models::embeddingOf(3)},
                                                                                  {"8", models::embeddingOf(1)}}));
    ASSERT_TRUE(result.timings.has_value());
    EXPECT_EQ(result.timings->audioLoadingSeconds(), 0.0);
    EXPECT_EQ(result.timings->modelCompilationSeconds(), loadedModels.compilationDuration);
    EXPECT_GT(result.timings->segmentationSeconds(), 0.0);
}

TEST_F(DiarizerManagerTest, AFailingChunkEndsTheCallButKeepsEarlierSpeakers) {
    ready();
    const auto samples = models::recording(20, {{1, 1, 5}, {2, 11, 15}});
    EXPECT_EQ(testsupport::errorText([&] {
                  manager->performCompleteDiarization(samples, 16000, 0, [this](double) {
                      embedding.failPredictionsWith(std::make_exception_ptr(std::runtime_error("engine stalled")));
                  });
              }),
              "engine stalled");
    EXPECT_EQ(manager->speakerManager().speakerIds(), (std::vector<std::string>{"1"}));
}

TEST_F(DiarizerManagerTest, TheLifecycleGuardsEveryCall) {
    testsupport::RecordingLogSink sink;
    DiarizerManager diarizer;
    EXPECT_FALSE(diarizer.isAvailable());
    EXPECT_EQ(testsupport::errorText([&] { diarizer.performCompleteDiarization(std::vector<float>(16000)); }),
              notInitialized);
    diarizer.initialize(loadedModels);
    EXPECT_TRUE(diarizer.isAvailable());
    EXPECT_EQ(diarizer.segmentationModel(), loadedModels.segmentationModel);
    EXPECT_EQ(diarizer.extractSpeakerEmbedding(models::recording(10, {{2, 0, 10}})), models::embeddingOf(2));
    const auto mask = testsupport::valuesOf(*embedding.calls().at(0).inputs.at("mask").multiArrayValue());
    EXPECT_EQ(std::set<double>(mask.begin(), mask.begin() + 589), std::set<double>{1.0});

    diarizer.cleanup();
    EXPECT_FALSE(diarizer.isAvailable());
    EXPECT_NE(diarizer.embeddingExtractor(), nullptr);
    EXPECT_EQ(testsupport::errorText([&] { diarizer.extractSpeakerEmbedding(std::vector<float>(16000)); }),
              notInitialized);
    EXPECT_EQ(sink.messages("Diarizer"),
              (std::vector<std::string>{"Initializing diarization system",
                                        "EmbeddingExtractor initialized with embedding model",
                                        "Diarization resources cleaned up"}));
}

TEST_F(DiarizerManagerTest, ASingleEmbeddingNeedsTheDeclaredFrameCount) {
    const auto undeclared = testsupport::writeModelBundle(
        folder.path() / "flat", "pyannote_segmentation.mlmodelc",
        testsupport::modelManifest(segmentation.name(), {testsupport::multiArrayFeature("audio", {1, 1, 160000})},
                                   {testsupport::multiArrayFeature("segments", {589})}));
    auto models = loadedModels;
    models.segmentationModel = platform::ml::Model::load(undeclared);
    DiarizerManager diarizer;
    diarizer.initialize(models);
    EXPECT_EQ(testsupport::errorText([&] { diarizer.extractSpeakerEmbedding(std::vector<float>(16000)); }),
              "Processing failed: Cannot determine segmentation frame count from model output shape");
}

} // namespace
} // namespace quorl
