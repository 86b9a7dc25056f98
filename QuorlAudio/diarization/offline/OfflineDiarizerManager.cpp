#include "QuorlAudio/diarization/offline/OfflineDiarizerManager.hpp"

#include "QuorlAudio/diarization/offline/CentroidAssignment.hpp"
#include "QuorlAudio/diarization/offline/EmbeddingExport.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"
#include "QuorlAudio/diarization/offline/OfflineModelWarmup.hpp"
#include "QuorlAudio/diarization/offline/OfflineReconstruction.hpp"
#include "QuorlAudio/diarization/offline/OfflineSpeakerClustering.hpp"
#include "QuorlAudio/diarization/offline/PLDATransform.hpp"
#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"
#include "QuorlAudio/foundation/AudioSourceFactory.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "QuorlAudio/models/RetryPolicy.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Error.hpp"
#include "platform/core/SecondsSince.hpp"

#include <chrono>
#include <cmath>
#include <exception>
#include <string>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;

// Post-processing is what the total leaves after the stages; overlapping stages can leave less than nothing.
PipelineTimings timingsOf(const OfflineDiarizerModels& models, double audioLoadingSeconds,
                          const OfflineStageTasks::Results& stages, double clusteringSeconds, double totalSeconds) {
    const double rest = totalSeconds - stages.segmentationSeconds - stages.embeddingSeconds - clusteringSeconds;
    return PipelineTimings({.modelCompilationSeconds = models.compilationDuration,
                            .audioLoadingSeconds = audioLoadingSeconds,
                            .segmentationSeconds = stages.segmentationSeconds,
                            .embeddingExtractionSeconds = stages.embeddingSeconds,
                            .speakerClusteringSeconds = clusteringSeconds,
                            .postProcessingSeconds = rest > 0 ? rest : 0.0});
}

// A stretch whose embedding fails is simply left as the frames decided it.
OfflineReconstruction::SpanEmbedder spanEmbedder(const OfflineEmbeddingExtractor& extractor,
                                                 const AudioSampleSource& audioSource) {
    return [&extractor, &audioSource](double start, double end) -> std::optional<std::vector<float>> {
        try {
            return extractor.embedSpan(audioSource, start, end);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    };
}

} // namespace

OfflineDiarizerManager::OfflineDiarizerManager(OfflineDiarizerConfig config)
    : logger_("OfflineDiarizer"), config_(std::move(config)) {}

void OfflineDiarizerManager::initialize(OfflineDiarizerModels models) {
    models_ = std::move(models);
    logger_.info("Offline diarizer models initialized");
}

void OfflineDiarizerManager::prepareModels(const std::optional<fs::path>& directory,
                                           const std::optional<platform::ml::ModelConfiguration>& configuration,
                                           bool forceRedownload) {
    if (!forceRedownload && models_) {
        logger_.debug("Offline diarizer models already prepared; skipping load");
        return;
    }
    const fs::path root = (directory ? *directory : OfflineDiarizerModels::defaultModelsDirectory()).lexically_normal();
    if (forceRedownload) {
        purgeDiarizerRepo(root, "Failed to purge diarizer cache during forced reload: ");
    }
    if (auto models = firstLoad(root, configuration)) {
        install(std::move(*models));
        logger_.info("Offline diarizer models loaded from " + root.string());
        return;
    }
    logger_.info("Attempting fallback download and compilation");
    purgeDiarizerRepo(root, "Failed to remove cached diarizer repo before fallback: ");
    install(fallbackLoad(root, configuration));
    logger_.info(
        platform::core::concatenated({"Fallback download + compile completed in ",
                                      fixedDecimalText(models_->compilationDuration, 2), "s at ", root.string()}));
}

void OfflineDiarizerManager::install(OfflineDiarizerModels models) {
    initialize(std::move(models));
    prewarmOfflineModels(*models_, config_, logger_);
}

std::optional<OfflineDiarizerModels>
OfflineDiarizerManager::firstLoad(const fs::path& root,
                                  const std::optional<platform::ml::ModelConfiguration>& configuration) const {
    try {
        return OfflineDiarizerModels::load(root, configuration);
    } catch (...) {
        const auto error = std::current_exception();
        // Neither a cancelled load nor one the hub could not fetch again may cost the cached models.
        if (RetryPolicy::isCancellation(error)) {
            throw;
        }
        logger_.error("Initial offline diarizer model load failed: " + platform::core::describe(error));
        if (ModelHub::shared().offlineMode()) {
            throw;
        }
        return std::nullopt;
    }
}

OfflineDiarizerModels
OfflineDiarizerManager::fallbackLoad(const fs::path& root,
                                     const std::optional<platform::ml::ModelConfiguration>& configuration) const {
    try {
        return OfflineDiarizerModels::load(root, configuration);
    } catch (...) {
        logger_.error("Fallback offline diarizer model load failed: " +
                      platform::core::describe(std::current_exception()));
        throw;
    }
}

void OfflineDiarizerManager::purgeDiarizerRepo(const fs::path& root, const std::string& failurePrefix) const {
    try {
        fs::remove_all(root / folderName(Repo::diarizer));
    } catch (const std::exception& error) {
        logger_.warning(failurePrefix + error.what());
    }
}

DiarizationResult OfflineDiarizerManager::process(std::vector<float> audio, const ProgressCallback& progressCallback) {
    return process(ArrayAudioSampleSource(std::move(audio)), 0, progressCallback);
}

DiarizationResult OfflineDiarizerManager::process(const fs::path& audioFile, const ProgressCallback& progressCallback) {
    const auto loaded =
        AudioSourceFactory().makeDiskBackedSource(audioFile, static_cast<int>(config_.segmentation.sampleRate));
    struct CleanUp {
        const DiskBackedAudioSampleSource& source;
        ~CleanUp() { source.cleanup(); }
    } cleanUp{loaded.source};
    return process(loaded.source, loaded.loadDuration, progressCallback);
}

DiarizationResult OfflineDiarizerManager::process(const AudioSampleSource& audioSource, double audioLoadingSeconds,
                                                  const ProgressCallback& progressCallback) {
    config_.validate();
    if (!models_) {
        prepareModels();
    }
    if (!models_) {
        throw OfflineDiarizationError::modelNotLoaded("offline-diarizer");
    }
    return diarize(audioSource, audioLoadingSeconds, progressCallback);
}

DiarizationResult OfflineDiarizerManager::diarize(const AudioSampleSource& audioSource, double audioLoadingSeconds,
                                                  const ProgressCallback& progressCallback) const {
    const OfflineDiarizerModels models = *models_;
    const auto start = std::chrono::steady_clock::now();
    const auto stages = OfflineStageTasks::run(audioSource, models, config_, progressCallback);
    logger_.debug("Segmentation completed in " + decimalText(stages.segmentationSeconds) + "s (async)");
    logger_.debug(
        platform::core::concatenated({"Embedding extraction produced ", std::to_string(stages.embeddings.size()),
                                      " vectors in ", decimalText(stages.embeddingSeconds), "s (async)"}));
    const PLDATransform pldaTransform(models.pldaRhoModel, models.pldaPsi);
    if (stages.embeddings.empty()) {
        throw OfflineDiarizationError::noSpeechDetected();
    }
    const auto clustering =
        OfflineSpeakerClustering(config_, pldaTransform, logger_).cluster(stages.segmentation, stages.embeddings);
    const std::optional<OfflineEmbeddingExtractor> extractor =
        config_.zeroVoteReembed.enabled && !clustering.centroids.empty()
            ? std::make_optional<OfflineEmbeddingExtractor>(models.fbankModel, models.embeddingModel, pldaTransform,
                                                            config_)
            : std::nullopt;
    const OfflineReconstruction reconstruction(config_, AppLogger("OfflineReconstruction"));
    auto segments = reconstruction.buildSegments(stages.segmentation, clustering.chunkAssignments, clustering.centroids,
                                                 extractor ? spanEmbedder(*extractor, audioSource)
                                                           : OfflineReconstruction::SpanEmbedder{});
    auto speakerDatabase = reconstruction.buildSpeakerDatabase(segments);
    if (const auto& path = config_.exportSettings.embeddingsPath) {
        exportEmbeddings(stages.embeddings, clustering.assignments, *path, logger_);
    }
    auto chunkEmbeddings = config_.exposeChunkEmbeddings
                               ? std::make_optional(CentroidAssignment::buildPublicChunkEmbeddings(
                                     stages.embeddings, clustering.assignments, logger_))
                               : std::nullopt;
    return DiarizationResult{.segments = std::move(segments),
                             .speakerDatabase = std::move(speakerDatabase),
                             .chunkEmbeddings = std::move(chunkEmbeddings),
                             .timings = timingsOf(models, audioLoadingSeconds, stages, clustering.seconds,
                                                  platform::core::secondsSince(start))};
}

} // namespace quorl
