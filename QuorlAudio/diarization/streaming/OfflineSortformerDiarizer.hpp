#pragma once

#include "QuorlAudio/diarization/streaming/DiarizerTimeline.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineConfig.hpp"
#include "QuorlAudio/diarization/streaming/OfflineSortformerConfig.hpp"
#include "QuorlAudio/diarization/streaming/OfflineSortformerModels.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"
#include "QuorlAudio/models/ProgressReporter.hpp"
#include "platform/ml/ComputeUnits.hpp"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

namespace quorl {

// Diarizes whole recordings with the offline Sortformer model: the log-mel frames of the recording are cut
// into model windows that overlap by the configured output frames, each window after the first has its
// speaker slots lined up with the frames already known, and the joined predictions become a complete
// timeline. Keeps nothing between calls; calls on one diarizer run one after another.
class OfflineSortformerDiarizer {
public:
    // Timelines are built with the given configuration (else the default one), its speaker slots and frame
    // duration always those of the model.
    explicit OfflineSortformerDiarizer(OfflineSortformerConfig config = OfflineSortformerConfig::offlineV2_1(),
                                       const std::optional<DiarizerTimelineConfig>& timelineConfig = std::nullopt);
    OfflineSortformerDiarizer(const OfflineSortformerDiarizer&) = delete;
    OfflineSortformerDiarizer& operator=(const OfflineSortformerDiarizer&) = delete;

    // Each installs a model set, replacing an earlier one; a failed load leaves the earlier set in place.
    void initialize(const std::filesystem::path& modelPath,
                    platform::ml::ComputeUnits computeUnits = platform::ml::ComputeUnits::all);
    void initializeFromHuggingFace(platform::ml::ComputeUnits computeUnits = platform::ml::ComputeUnits::all,
                                   const ProgressHandler& progressHandler = {});
    void initialize(OfflineSortformerModels models);

    bool isAvailable() const;
    const OfflineSortformerConfig& config() const { return config_; }
    const DiarizerTimelineConfig& timelineConfig() const { return timelineConfig_; }

    // A new timeline, every segment finalized. Samples at another source rate are converted to 16 kHz first.
    // SortformerError::notInitialized without a model set; model and conversion errors pass through.
    std::unique_ptr<DiarizerTimeline> processComplete(std::span<const float> samples,
                                                      std::optional<double> sourceSampleRate = std::nullopt);
    // The whole file, converted to 16 kHz mono before the diarizer is taken.
    std::unique_ptr<DiarizerTimeline> processComplete(const std::filesystem::path& audioFileURL);

private:
    std::unique_ptr<DiarizerTimeline> diarize(std::span<const float> samples);
    void installModels(OfflineSortformerModels models);

    AppLogger logger_;
    const OfflineSortformerConfig config_;
    const DiarizerTimelineConfig timelineConfig_;
    AudioMelSpectrogram melSpectrogram_;
    mutable std::mutex mutex_;
    std::optional<OfflineSortformerModels> models_;
};

} // namespace quorl
