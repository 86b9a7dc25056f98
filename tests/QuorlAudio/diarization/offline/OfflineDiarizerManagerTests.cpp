#include "QuorlAudio/diarization/offline/OfflineDiarizerManager.hpp"

#include "QuorlAudio/diarization/chunked/DiarizationDER.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/SystemError.hpp"
#include "tests/QuorlAudio/diarization/offline/PipelineTestModels.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/FileContents.hpp"
#include "tests/support/SoundFileWriter.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using testmodels::PipelineTestModels;

// Two voices taking turns every two seconds over eight seconds.
const std::vector<PipelineTestModels::VoiceSpan> alternating{{1, 0, 2}, {2, 2, 4}, {1, 4, 6}, {2, 6, 8}};

class StageFailure : public std::runtime_error {
public:
    StageFailure() : std::runtime_error("stage broke") {}
};

class OfflineDiarizerManagerTest : public testing::ModelHubTest {
protected:
    OfflineDiarizerManagerTest() { models.writeRepository(folder / "bundles"); }

    // A manager given models the test loaded itself.
    OfflineDiarizerManager loaded(const OfflineDiarizerConfig& config = PipelineTestModels::config()) const {
        OfflineDiarizerManager manager(config);
        manager.initialize(models.load(folder / "bundles"));
        return manager;
    }

    void serveRepository() { serveFolder(Repo::diarizer, folder / "bundles"); }

    OfflineDiarizerManager::ProgressCallback recordProgress() {
        return [this](std::int64_t delivered, std::int64_t total) {
            const std::lock_guard lock(mutex);
            progress.emplace_back(delivered, total);
            progressThreads.push_back(std::this_thread::get_id());
        };
    }

    std::vector<std::string> diarizerLines() const { return testing::logLines(sink, "OfflineDiarizer"); }
    bool logged(const std::string& line) const { return std::ranges::count(diarizerLines(), line) > 0; }
    bool loggedStart(const std::string& prefix) const {
        return std::ranges::any_of(diarizerLines(), [&prefix](const auto& line) { return line.starts_with(prefix); });
    }

    PipelineTestModels models;
    std::mutex mutex;
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    std::vector<std::thread::id> progressThreads;
};

std::vector<DERSpeakerSegment> reference(const std::vector<PipelineTestModels::VoiceSpan>& spans) {
    std::vector<DERSpeakerSegment> segments;
    for (const auto& span : spans) {
        segments.push_back({"voice" + std::to_string(span.voice), span.start, span.end});
    }
    return segments;
}

std::vector<DERSpeakerSegment> hypothesis(const DiarizationResult& result) {
    std::vector<DERSpeakerSegment> segments;
    for (const auto& segment : result.segments) {
        segments.push_back({segment.speakerId, segment.startTimeSeconds, segment.endTimeSeconds});
    }
    return segments;
}

TEST_F(OfflineDiarizerManagerTest, ProgressCountsEveryWindowOnTheSegmentationTask) {
    auto manager = loaded();
    const auto result = manager.process(PipelineTestModels::recording(8, alternating), recordProgress());

    // Eight seconds of 1 s windows stepped by 0.5 s.
    std::vector<std::pair<std::int64_t, std::int64_t>> expected;
    for (std::int64_t window = 1; window <= 16; ++window) {
        expected.emplace_back(window, 16);
    }
    EXPECT_EQ(progress, expected);
    EXPECT_TRUE(std::ranges::none_of(progressThreads, [](auto id) { return id == std::this_thread::get_id(); }));
    EXPECT_FALSE(result.segments.empty());
}

TEST_F(OfflineDiarizerManagerTest, EmptyAudioHasNoSpeechAndNoProgress) {
    auto manager = loaded();
    EXPECT_EQ(testsupport::errorText([&] { manager.process(std::vector<float>{}, recordProgress()); }),
              "No speech detected in audio");
    EXPECT_TRUE(progress.empty());
    // Silence segments fine but yields no embedding.
    EXPECT_EQ(testsupport::errorText([&] { manager.process(std::vector<float>(3200, 0.0f)); }),
              "No speech detected in audio");
    EXPECT_FALSE(loggedStart("Clustering will use "));
}

TEST_F(OfflineDiarizerManagerTest, ASingleEmbeddingStillGoesThroughVBx) {
    auto manager = loaded();
    const auto result = manager.process(PipelineTestModels::recording(0.5, {{2, 0, 0.5}}));

    EXPECT_TRUE(logged("Clustering will use 1/1 embeddings (NaN filtered)"));
    const auto vbx = testing::logLines(sink, "OfflineVBx");
    EXPECT_TRUE(
        std::ranges::any_of(vbx, [](const auto& line) { return line.starts_with("VBx warm start clusters: 1 "); }));
    ASSERT_EQ(result.segments.size(), 1u);
    EXPECT_EQ(result.segments[0].speakerId, "S1");
    EXPECT_EQ(result.speakerDatabase->at("S1"), PipelineTestModels::embeddingOf(2));
}

TEST_F(OfflineDiarizerManagerTest, TwoAlternatingVoicesFromAFileBecomeTwoSpeakersAndAreExported) {
    auto config = PipelineTestModels::config();
    const auto exportPath = folder / "embeddings.json";
    config.exportSettings.embeddingsPath = exportPath.string();
    config.exposeChunkEmbeddings = true;
    const auto audioFile = folder / "voices.wav";
    testsupport::writeSoundFile(audioFile, SF_FORMAT_WAV | SF_FORMAT_FLOAT, PipelineTestModels::sampleRate, 1,
                                PipelineTestModels::recording(8, alternating));
    auto manager = loaded(config);

    const auto result = manager.process(audioFile);

    const auto score = DiarizationDER::compute(reference(alternating), hypothesis(result), 0.01, 0.0);
    EXPECT_EQ(score.confusion, 0.0);
    EXPECT_LT(score.der, 0.1);
    EXPECT_EQ(score.mapping.size(), 2u);
    std::set<std::string> speakers;
    for (const auto& segment : result.segments) {
        speakers.insert(segment.speakerId);
    }
    EXPECT_EQ(speakers, (std::set<std::string>{"S1", "S2"}));
    ASSERT_TRUE(result.speakerDatabase);
    EXPECT_EQ(result.speakerDatabase->size(), 2u);
    const auto exported = nlohmann::json::parse(testsupport::fileContents(exportPath));
    ASSERT_TRUE(result.chunkEmbeddings);
    ASSERT_EQ(exported.size(), result.chunkEmbeddings->size());
    for (std::size_t index = 0; index < exported.size(); ++index) {
        EXPECT_EQ(exported[index].size(), 9u);
        EXPECT_EQ("S" + std::to_string(exported[index]["cluster"].get<int>() + 1),
                  (*result.chunkEmbeddings)[index].speakerId);
    }
    EXPECT_TRUE(logged("Exported " + std::to_string(exported.size()) + " embeddings to " + exportPath.string()));
    ASSERT_TRUE(result.timings);
    EXPECT_EQ(result.timings->modelCompilationSeconds(), 0.25);
    EXPECT_GT(result.timings->audioLoadingSeconds(), 0.0);
}

TEST_F(OfflineDiarizerManagerTest, AnEmbeddingWithNaNFailsAnExportingRunOnly) {
    auto config = PipelineTestModels::config();
    config.exportSettings.embeddingsPath = (folder / "embeddings.json").string();
    models.notANumber = true;
    const auto recording = PipelineTestModels::recording(4, alternating);

    EXPECT_NO_THROW(loaded().process(recording));
    auto exporting = loaded(config);
    EXPECT_THROW(exporting.process(recording), platform::core::SystemError);
    EXPECT_FALSE(fs::exists(folder / "embeddings.json"));
}

// Noise between the voices gives no usable embedding, so none of its frames is voted for; its second embedding
// is no better, and the run goes on with the tie-break.
TEST_F(OfflineDiarizerManagerTest, AStretchThatCannotBeReembeddedKeepsTheTieBreak) {
    auto config = PipelineTestModels::config();
    config.zeroVoteReembed.enabled = true;
    auto manager = loaded(config);

    const auto result = manager.process(PipelineTestModels::recording(5, {{1, 0, 2}, {3, 2, 3}, {2, 3, 5}}));

    EXPECT_EQ(testing::logLines(sink, "OfflineReconstruction").back(),
              "Zero-vote re-embed [2.00s\u20133.00s]: embedding failed; keeping tie-break assignment");
    EXPECT_FALSE(result.segments.empty());
}

TEST_F(OfflineDiarizerManagerTest, AFailingStageEndsTheRunWithItsOwnError) {
    for (auto* kernel : {&models.segmentation, &models.embedding}) {
        SCOPED_TRACE(kernel->name());
        auto manager = loaded();
        kernel->failPredictionsWith(std::make_exception_ptr(StageFailure()));
        EXPECT_THROW(manager.process(PipelineTestModels::recording(8, alternating)), StageFailure);
        kernel->failPredictionsWith(nullptr);
    }
}

TEST_F(OfflineDiarizerManagerTest, AFailedExtractionStopsTheSegmentationEarly) {
    models.segmentationDelay = std::chrono::milliseconds(5);
    auto manager = loaded();
    models.embedding.failPredictionsWith(std::make_exception_ptr(StageFailure()));

    EXPECT_THROW(manager.process(PipelineTestModels::recording(600, alternating)), StageFailure);

    // Ten minutes in half-second steps are dozens of segmentation batches; the first embedding fails at once.
    EXPECT_LT(models.segmentation.calls().size(), 10U);
}

TEST_F(OfflineDiarizerManagerTest, OverlappingStagesLeaveNoPostProcessingTime) {
    models.segmentationDelay = std::chrono::milliseconds(30);
    auto manager = loaded();
    const auto start = std::chrono::steady_clock::now();
    const auto result = manager.process(PipelineTestModels::recording(8, alternating));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // Extraction waits for the slow segmentation, so the stages add up to more than the whole run took.
    ASSERT_TRUE(result.timings);
    const auto& timings = *result.timings;
    EXPECT_GT(timings.totalInferenceSeconds(), wall);
    EXPECT_EQ(timings.postProcessingSeconds(), 0.0);
    EXPECT_DOUBLE_EQ(timings.totalProcessingSeconds(),
                     timings.modelCompilationSeconds() + timings.totalInferenceSeconds());
}

TEST_F(OfflineDiarizerManagerTest, AnAudioFileLeavesNoTemporaryFileWhateverTheOutcome) {
    const auto temporary = folder / "tmp";
    fs::create_directories(temporary);
    environment.set("TMPDIR", temporary.string());
    const auto audioFile = folder / "voices.wav";
    testsupport::writeSoundFile(audioFile, SF_FORMAT_WAV | SF_FORMAT_PCM_16, PipelineTestModels::sampleRate, 1,
                                PipelineTestModels::recording(4, alternating));
    auto manager = loaded();

    EXPECT_NO_THROW(manager.process(audioFile));
    EXPECT_TRUE(fs::is_empty(temporary));
    models.segmentation.failPredictionsWith(std::make_exception_ptr(StageFailure()));
    EXPECT_THROW(manager.process(audioFile), StageFailure);
    EXPECT_TRUE(fs::is_empty(temporary));
    EXPECT_THROW(manager.process(folder / "missing.wav"), std::exception);
    EXPECT_TRUE(fs::is_empty(temporary));
}

TEST_F(OfflineDiarizerManagerTest, GivenModelsAreNeverPrewarmed) {
    auto manager = loaded();
    EXPECT_TRUE(models.segmentation.calls().empty());
    EXPECT_TRUE(logged("Offline diarizer models initialized"));
    manager.process(PipelineTestModels::recording(4, alternating));
    EXPECT_FALSE(loggedStart("Segmentation model prewarmed in "));
    EXPECT_FALSE(loggedStart("Embedding stack prewarmed in "));
}

TEST_F(OfflineDiarizerManagerTest, AnInvalidConfigurationFailsBeforeAnyWork) {
    auto config = PipelineTestModels::config();
    config.embedding.batchSize = 0;
    auto manager = loaded(config);
    EXPECT_THROW(manager.process(PipelineTestModels::recording(4, alternating)), OfflineDiarizationError);
    EXPECT_TRUE(models.segmentation.calls().empty());
}

TEST_F(OfflineDiarizerManagerTest, TheFirstRunPreparesTheModelsFromTheHubAndPrewarmsThem) {
    serveRepository();
    OfflineDiarizerManager manager(PipelineTestModels::config());

    const auto result = manager.process(PipelineTestModels::recording(4, alternating));

    EXPECT_EQ(result.timings->modelCompilationSeconds(), manager.models()->compilationDuration);
    const auto lines = diarizerLines();
    const auto initialized = std::ranges::find(lines, "Offline diarizer models initialized");
    ASSERT_NE(initialized, lines.end());
    EXPECT_TRUE(initialized[1].starts_with("Segmentation model prewarmed in ")) << initialized[1];
    EXPECT_TRUE(initialized[2].starts_with("Embedding stack prewarmed in ")) << initialized[2];
    EXPECT_EQ(initialized[3], "Offline diarizer models loaded from " + modelsRoot().string());

    manager.prepareModels();
    EXPECT_TRUE(logged("Offline diarizer models already prepared; skipping load"));
}

TEST_F(OfflineDiarizerManagerTest, AForcedReloadPurgesAndLoadsAgain) {
    serveRepository();
    const auto root = folder / "models";
    OfflineDiarizerManager manager(PipelineTestModels::config());
    manager.prepareModels(root);
    const auto marker = root / "speaker-diarization" / "stale.bin";
    writeFile(marker, "x");

    manager.prepareModels(root, std::nullopt, true);

    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(fs::exists(root / "speaker-diarization" / "Segmentation.mlmodelc" / "model.json"));
    EXPECT_EQ(std::ranges::count(diarizerLines(), "Offline diarizer models loaded from " + root.string()), 2);
}

TEST_F(OfflineDiarizerManagerTest, ABrokenCacheIsPurgedAndFetchedAgain) {
    serveRepository();
    const auto root = folder / "models";
    OfflineDiarizerManager(PipelineTestModels::config()).prepareModels(root);
    // Broken but of the listed size, so the hub keeps the file until the folder is purged.
    const auto parameters = root / "speaker-diarization" / "plda-parameters.json";
    auto text = testsupport::fileContents(parameters);
    text.replace(text.find("data_base64"), 11, "data_base65");
    writeFile(parameters, text);
    OfflineDiarizerManager manager(PipelineTestModels::config());

    manager.prepareModels(root);

    const auto lines = diarizerLines();
    EXPECT_TRUE(logged("Initial offline diarizer model load failed: Processing failed: Failed to decode PLDA psi "
                       "parameters"));
    EXPECT_TRUE(logged("Attempting fallback download and compilation"));
    EXPECT_TRUE(loggedStart("Fallback download + compile completed in "));
    EXPECT_TRUE(lines.back().ends_with("s at " + root.string())) << lines.back();
    EXPECT_EQ(manager.models()->pldaPsi, std::vector<double>(128, 1.0));
}

TEST_F(OfflineDiarizerManagerTest, ASecondFailureIsThrown) {
    serveRepository();
    models.fbank.failLoadsWith(std::make_exception_ptr(StageFailure()));
    OfflineDiarizerManager manager(PipelineTestModels::config());

    EXPECT_THROW(manager.prepareModels(folder / "models"), StageFailure);

    EXPECT_TRUE(logged("Fallback offline diarizer model load failed: stage broke"));
    EXPECT_FALSE(manager.models());
}

// Neither a cancelled load nor one in offline mode may delete models that cannot be fetched back.
TEST_F(OfflineDiarizerManagerTest, ACancelledOrOfflineLoadKeepsTheCache) {
    serveRepository();
    const auto root = folder / "models";
    OfflineDiarizerManager(PipelineTestModels::config()).prepareModels(root);
    const auto cached = root / "speaker-diarization" / "Embedding.mlmodelc" / "model.json";

    models.embedding.failLoadsWith(std::make_exception_ptr(platform::core::CancellationError()));
    OfflineDiarizerManager cancelled(PipelineTestModels::config());
    EXPECT_THROW(cancelled.prepareModels(root, std::nullopt, false), platform::core::CancellationError);
    EXPECT_TRUE(fs::exists(cached));

    models.embedding.failLoadsWith(std::make_exception_ptr(StageFailure()));
    ModelHub::shared().setOfflineMode(true);
    OfflineDiarizerManager offline(PipelineTestModels::config());
    EXPECT_THROW(offline.prepareModels(root), StageFailure);
    ModelHub::shared().setOfflineMode(false);
    EXPECT_TRUE(fs::exists(cached));
    EXPECT_FALSE(logged("Attempting fallback download and compilation"));
    EXPECT_EQ(std::ranges::count_if(diarizerLines(),
                                    [](const auto& line) { return line.starts_with("Initial offline diarizer"); }),
              1);
}

} // namespace
} // namespace quorl
