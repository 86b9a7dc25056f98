#pragma once

#include "QuorlAudio/diarization/streaming/Diarizer.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineConfig.hpp"
#include "QuorlAudio/diarization/streaming/SortformerFeatureLoader.hpp"
#include "QuorlAudio/diarization/streaming/SortformerMelStream.hpp"
#include "QuorlAudio/diarization/streaming/SortformerModels.hpp"
#include "QuorlAudio/diarization/streaming/SortformerStateUpdater.hpp"
#include "QuorlAudio/diarization/streaming/SortformerStreamingState.hpp"
#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace quorl {

// The streaming diarizer built on the Sortformer model: audio at any rate becomes 128-bin log-mel frames, the
// frames are cut into chunks of core plus left and right context, and each chunk runs through the model with
// the speaker cache and FIFO of the stream. The core's predictions are final; the right context's are the
// tentative view until the next chunk. Both go into one timeline.
//
// Every operation holds the diarizer's lock throughout, model steps included, then the timeline's; the lock
// is not re-entrant, so no callback may call back into the diarizer.
class SortformerDiarizer : public Diarizer {
public:
    // The timeline's speaker count and frame duration are the model's (4 slots, 0.08 s), whatever the
    // timeline configuration says; the rest of it is used as given.
    explicit SortformerDiarizer(const SortformerConfig& config = SortformerConfig::defaultConfig(),
                                DiarizerTimelineConfig timelineConfig = DiarizerTimelineConfig::sortformerDefault());

    // Compiles and loads the model at the path and installs it.
    void initialize(const std::filesystem::path& mainModelPath,
                    std::optional<platform::ml::ComputeUnits> computeUnits = std::nullopt);
    // Installs a model set loaded elsewhere; a new stream begins.
    void initialize(const SortformerModels& models);

    bool isAvailable() const override;
    std::int64_t numFramesProcessed() const override;
    std::optional<std::int64_t> targetSampleRate() const override { return SortformerConfig::sampleRate; }
    std::optional<double> modelFrameHz() const override;
    std::optional<std::int64_t> numSpeakers() const override { return SortformerConfig::numSpeakers; }
    std::shared_ptr<DiarizerTimeline> timeline() const override;
    const SortformerConfig& config() const { return config_; }
    SortformerStreamingState state() const;

    void addAudio(std::span<const float> samples, std::optional<double> sourceSampleRate) override;
    // Samples already at the model rate.
    void addAudio(std::span<const float> samples);
    std::optional<DiarizerTimelineUpdate> process() override;
    std::optional<DiarizerTimelineUpdate> process(std::span<const float> samples,
                                                  std::optional<double> sourceSampleRate) override;
    // Ends the stream: the last core and its right context are completed with silence, and exactly the output
    // frames the audio covers become final.
    std::optional<DiarizerTimelineUpdate> finalizeSession() override;
    void reset() override;
    void cleanup() override;

    std::shared_ptr<DiarizerTimeline> processComplete(std::span<const float> samples,
                                                      std::optional<double> sourceSampleRate,
                                                      const CompleteOptions& options) override;
    std::shared_ptr<DiarizerTimeline> processComplete(const std::filesystem::path& audioFile,
                                                      const CompleteOptions& options) override;
    std::shared_ptr<DiarizerSpeaker> enrollSpeaker(std::span<const float> audio, std::optional<double> sourceSampleRate,
                                                   std::optional<std::string> name,
                                                   bool overwritingAssignedSpeakerName) override;

private:
    // What the chunks of one call produced; kept when a later chunk fails, so nothing already run is lost.
    struct ChunkRun {
        std::vector<float> confirmed{};
        std::int64_t confirmedFrames = 0;
        // The latest chunk's look-ahead predictions.
        std::vector<float> tentative{};
        int chunks = 0;
    };

    // The predictions that end a stream: final ones and the last chunk's look-ahead.
    struct Ending {
        std::vector<float> finalized{};
        std::vector<float> tentative{};
    };

    struct EnrolmentChoice {
        std::shared_ptr<DiarizerSpeaker> speaker{};
        // A named slot was matched and not overwritten.
        bool refused = false;
    };

    std::vector<float> atModelRate(std::span<const float> samples, std::optional<double> sourceSampleRate) const;
    void install(const SortformerModels& models);
    void logMismatch(const SortformerModels& models) const;
    const SortformerModels& requireModelsLocked() const;
    void produceFeaturesLocked();
    void appendFeaturesLocked(const std::vector<float>& frames);
    std::int64_t featureFramesLocked() const;
    std::optional<std::vector<float>> nextChunkLocked();
    void runChunksLocked(ChunkRun& run, const std::function<void()>& afterChunk = {});
    void runStepLocked(std::span<const float> chunk, int chunkFrames, int leftContext, int rightContext, ChunkRun& run);
    std::optional<DiarizerTimelineUpdate> deliverLocked(const ChunkRun& run);
    void keepingCompletedChunksLocked(ChunkRun& run, const std::function<void()>& work);
    std::optional<DiarizerTimelineUpdate> processLocked();
    Ending completeWithSilenceLocked(ChunkRun& run, std::int64_t audioFrames, const std::function<void()>& afterChunk);
    void padWithSilenceLocked();
    std::shared_ptr<DiarizerTimeline> processCompleteLocked(std::span<const float> samples,
                                                            const CompleteOptions& options);
    void runLoaderWindowsLocked(SortformerFeatureLoader& loader, ChunkRun& run,
                                const std::function<void()>& afterChunk);
    std::map<std::int64_t, std::int64_t> enrolmentActivityLocked();
    EnrolmentChoice nameMostActiveLocked(const std::map<std::int64_t, std::int64_t>& activity,
                                         const std::optional<std::string>& name, const std::string& who,
                                         bool overwriting);
    void clearBuffersLocked();
    void resetBuffersLocked(bool keepingSpeakers);

    mutable std::mutex mutex_;
    std::shared_ptr<DiarizerTimeline> timeline_;
    SortformerStreamingState state_;
    std::int64_t numFramesProcessed_ = 0;
    bool finalized_ = false;
    const SortformerConfig config_;
    const AppLogger logger_{"SortformerDiarizerPipeline"};
    const SortformerStateUpdater stateUpdater_;
    std::optional<SortformerModels> models_;
    SortformerMelStream melStream_;
    // Mel frames, frame-major: the next chunk's left context, then frames not yet used as a chunk core.
    std::vector<float> featureBuffer_;
    // The stream's frame number of featureBuffer_'s first frame.
    std::int64_t featureBufferFirstFrame_ = 0;
    // Where the next chunk's core starts in featureBuffer_.
    std::int64_t startFeat_ = 0;
    std::int64_t diarizerChunkIndex_ = 0;
};

} // namespace quorl
