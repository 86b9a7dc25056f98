#pragma once

#include "QuorlAudio/diarization/chunked/AudioValidation.hpp"
#include "QuorlAudio/diarization/chunked/AudioValidationResult.hpp"
#include "QuorlAudio/diarization/chunked/ChunkGeometry.hpp"
#include "QuorlAudio/diarization/chunked/DiarizationResult.hpp"
#include "QuorlAudio/diarization/chunked/DiarizerConfig.hpp"
#include "QuorlAudio/diarization/chunked/DiarizerModels.hpp"
#include "QuorlAudio/diarization/chunked/EmbeddingExtractor.hpp"
#include "QuorlAudio/diarization/chunked/SegmentationProcessor.hpp"
#include "QuorlAudio/diarization/chunked/Speaker.hpp"
#include "QuorlAudio/diarization/chunked/SpeakerManager.hpp"
#include "QuorlAudio/diarization/chunked/TimedSegmentBuilder.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

// The chunked diarizer: cuts a recording into chunks, finds up to three local speakers per chunk, embeds each
// and assigns it to the speaker database, and reports the speakers' turns. The database outlives every call, so
// speaker ids stay stable for the manager's life. Not thread-safe: one call at a time.
class DiarizerManager {
public:
    // Receives the share of the recording done, from 0 to 1, on the calling thread.
    using ProgressHandler = std::function<void(double fraction)>;

    // Seconds per segmentation frame, and the span one frame covers.
    static constexpr double frameStep = 0.016875;
    static constexpr double frameDuration = 0.0619375;

    explicit DiarizerManager(const DiarizerConfig& config = DiarizerConfig::defaultConfig());

    const DiarizerConfig& config() const { return config_; }
    bool isAvailable() const { return models_.has_value(); }
    const std::optional<DiarizerModels>& models() const { return models_; }
    std::shared_ptr<platform::ml::Model> segmentationModel() const;
    SegmentationProcessor& segmentationProcessor() { return segmentationProcessor_; }
    const std::shared_ptr<EmbeddingExtractor>& embeddingExtractor() const { return embeddingExtractor_; }
    void setEmbeddingExtractor(std::shared_ptr<EmbeddingExtractor> extractor);
    SpeakerManager& speakerManager() { return speakerManager_; }
    const SpeakerManager& speakerManager() const { return speakerManager_; }

    // Takes the models and builds a new embedding extractor from them, replacing earlier ones.
    void initialize(DiarizerModels models);
    // Releases the models; the extractor and the speaker database stay.
    void cleanup();

    AudioValidationResult validateAudio(std::span<const float> samples) const;
    bool validateEmbedding(std::span<const float> embedding) const;
    // Adds the speakers whose ids are not known yet.
    void initializeKnownSpeakers(const std::vector<Speaker>& speakers);

    // One raw embedding of the whole audio. DiarizerError::notInitialized without models.
    std::vector<float> extractSpeakerEmbedding(std::span<const float> samples);

    // Diarizes 16 kHz mono samples whose first sample lies at `atTime` seconds. DiarizerError::notInitialized
    // without models; DiarizerError::processingFailed, before any chunk, for a rate or chunk configuration the
    // segmentation model cannot serve (see ChunkGeometry). Any error ends the call without a result, while
    // speakers of earlier chunks stay in the database.
    DiarizationResult performCompleteDiarization(std::span<const float> samples,
                                                 int sampleRate = ChunkGeometry::sampleRate, double atTime = 0,
                                                 const ProgressHandler& progressHandler = {});

private:
    struct ChunkResult {
        std::vector<TimedSpeakerSegment> segments;
        double segmentationSeconds = 0;
        double embeddingSeconds = 0;
        double clusteringSeconds = 0;
    };

    ChunkResult processChunkWithSpeakerTracking(std::span<const float> chunk, double chunkOffset,
                                                const DiarizerModels& models, std::vector<float>& chunkBuffer);
    std::vector<std::string> trackSpeakers(const std::vector<std::vector<float>>& embeddings,
                                           const std::vector<float>& activities);
    DiarizationResult resultOf(std::vector<TimedSpeakerSegment> segments, const PipelineTimings::Stages& stages) const;

    AppLogger logger_{"Diarizer"};
    DiarizerConfig config_;
    std::optional<DiarizerModels> models_;
    SegmentationProcessor segmentationProcessor_;
    std::shared_ptr<EmbeddingExtractor> embeddingExtractor_;
    AudioValidation audioValidation_;
    SpeakerManager speakerManager_;
    TimedSegmentBuilder segmentBuilder_;
};

} // namespace quorl
