#pragma once

#include "QuorlAudio/diarization/chunked/DiarizationResult.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizerModels.hpp"
#include "QuorlAudio/diarization/offline/OfflineStageTasks.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"
#include "platform/ml/ModelConfiguration.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// Diarizes a whole recording at once: segmentation and speaker-embedding extraction run together, the
// embeddings are clustered (agglomerative warm start, VBx, speaker-count bounds), and the clusters become
// speaker turns "S1", "S2", … with a speaker database, stage timings, optional per-embedding records and an
// optional JSON export of the embeddings. The models are loaded on first use and kept for the manager's life.
// Not thread-safe: one call at a time.
class OfflineDiarizerManager {
public:
    using ProgressCallback = OfflineStageTasks::ProgressCallback;

    explicit OfflineDiarizerManager(OfflineDiarizerConfig config = OfflineDiarizerConfig::defaultConfig());

    const OfflineDiarizerConfig& config() const { return config_; }
    const std::optional<OfflineDiarizerModels>& models() const { return models_; }

    // Takes a model set the caller loaded, without prewarming it.
    void initialize(OfflineDiarizerModels models);

    // Loads the model set from `directory` (the models root when absent), downloading what is missing, and
    // prewarms it; nothing when models are present, unless `forceRedownload`, which purges the diarizer's
    // folder first. A failed load is retried once after purging the folder, except when it was cancelled or
    // the hub is offline: then the first error is thrown and the cache is left alone. Otherwise the second
    // load's error is thrown.
    void prepareModels(const std::optional<std::filesystem::path>& directory = std::nullopt,
                       const std::optional<platform::ml::ModelConfiguration>& configuration = std::nullopt,
                       bool forceRedownload = false);

    // Mono samples at the configuration's sample rate.
    DiarizationResult process(std::vector<float> audio, const ProgressCallback& progressCallback = {});
    // Any audio file, converted into a temporary file that is removed again however the run ends.
    DiarizationResult process(const std::filesystem::path& audioFile, const ProgressCallback& progressCallback = {});
    // The main operation; `audioLoadingSeconds` only goes into the timings. Throws the configuration's
    // validation error, the models' loading error, OfflineDiarizationError::noSpeechDetected when no embedding
    // comes out, and the errors of the stages and of the export unchanged.
    DiarizationResult process(const AudioSampleSource& audioSource, double audioLoadingSeconds,
                              const ProgressCallback& progressCallback = {});

private:
    void install(OfflineDiarizerModels models);
    // None when the load failed in a way the fallback may mend.
    std::optional<OfflineDiarizerModels>
    firstLoad(const std::filesystem::path& root,
              const std::optional<platform::ml::ModelConfiguration>& configuration) const;
    OfflineDiarizerModels fallbackLoad(const std::filesystem::path& root,
                                       const std::optional<platform::ml::ModelConfiguration>& configuration) const;
    void purgeDiarizerRepo(const std::filesystem::path& root, const std::string& failurePrefix) const;
    DiarizationResult diarize(const AudioSampleSource& audioSource, double audioLoadingSeconds,
                              const ProgressCallback& progressCallback) const;

    AppLogger logger_;
    OfflineDiarizerConfig config_;
    std::optional<OfflineDiarizerModels> models_;
};

} // namespace quorl
