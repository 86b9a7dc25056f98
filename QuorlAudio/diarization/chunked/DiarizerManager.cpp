#include "QuorlAudio/diarization/chunked/DiarizerManager.hpp"

#include "QuorlAudio/diarization/chunked/LocalSpeakerActivity.hpp"
#include "QuorlAudio/diarization/chunked/PermanentSpeakers.hpp"
#include "QuorlAudio/diarization/chunked/SpeakerInitializationMode.hpp"
#include "QuorlAudio/foundation/DiarizerError.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

namespace quorl {
namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

SpeakerManagerConfig speakerManagerConfig(const DiarizerConfig& config) {
    return SpeakerManagerConfig{.speakerThreshold = config.clusteringThreshold * 1.2f,
                                .embeddingThreshold = config.clusteringThreshold * 0.8f,
                                .minSpeechDuration = config.minSpeechDuration,
                                .minEmbeddingUpdateDuration = config.minEmbeddingUpdateDuration};
}

// The frame count the segmentation model declares for its output "segments".
std::size_t declaredFrameCount(const platform::ml::Model& segmentationModel) {
    const auto& outputs = segmentationModel.description().outputDescriptionsByName;
    const auto segments = outputs.find("segments");
    if (segments == outputs.end() || !segments->second.multiArrayConstraint ||
        segments->second.multiArrayConstraint->shape.size() < 2) {
        throw DiarizerError::processingFailed("Cannot determine segmentation frame count from model output shape");
    }
    return segments->second.multiArrayConstraint->shape[1];
}

// Zeroes the buffer and copies the chunk to its start, so a short last chunk is padded with silence.
void loadChunk(std::span<const float> chunk, std::vector<float>& buffer, std::size_t chunkSize) {
    if (buffer.size() != chunkSize) {
        buffer.assign(chunkSize, 0.0f);
    }
    platform::dsp::clear(buffer.data(), buffer.size());
    platform::dsp::copy(chunk.data(), buffer.data(), std::min(chunkSize, chunk.size()));
}

} // namespace

DiarizerManager::DiarizerManager(const DiarizerConfig& config)
    : config_(config),
      speakerManager_(speakerManagerConfig(config)), segmentBuilder_{.minActiveFramesCount =
                                                                         config.minActiveFramesCount,
                                                                     .minSpeechDuration = config.minSpeechDuration} {}

std::shared_ptr<platform::ml::Model> DiarizerManager::segmentationModel() const {
    return models_ ? models_->segmentationModel : nullptr;
}

void DiarizerManager::setEmbeddingExtractor(std::shared_ptr<EmbeddingExtractor> extractor) {
    embeddingExtractor_ = std::move(extractor);
}

void DiarizerManager::initialize(DiarizerModels models) {
    logger_.info("Initializing diarization system");
    embeddingExtractor_ = std::make_shared<EmbeddingExtractor>(models.embeddingModel);
    logger_.info("EmbeddingExtractor initialized with embedding model");
    models_ = std::move(models);
}

void DiarizerManager::cleanup() {
    models_.reset();
    logger_.info("Diarization resources cleaned up");
}

AudioValidationResult DiarizerManager::validateAudio(std::span<const float> samples) const {
    return audioValidation_.validateAudio(samples);
}

bool DiarizerManager::validateEmbedding(std::span<const float> embedding) const {
    return audioValidation_.validateEmbedding(embedding);
}

void DiarizerManager::initializeKnownSpeakers(const std::vector<Speaker>& speakers) {
    speakerManager_.initializeKnownSpeakers(speakers, SpeakerInitializationMode::skip, PermanentSpeakers::protect);
}

std::vector<float> DiarizerManager::extractSpeakerEmbedding(std::span<const float> samples) {
    if (!embeddingExtractor_ || !models_) {
        throw DiarizerError::notInitialized();
    }
    const std::vector<std::vector<float>> masks{
        std::vector<float>(declaredFrameCount(*models_->segmentationModel), 1.0f)};
    auto embeddings = embeddingExtractor_->getEmbeddings(samples, masks, 10.0f);
    if (embeddings.empty()) {
        throw DiarizerError::embeddingExtractionFailed();
    }
    return std::move(embeddings.front());
}

DiarizationResult DiarizerManager::performCompleteDiarization(std::span<const float> samples, int sampleRate,
                                                              double atTime, const ProgressHandler& progressHandler) {
    if (!models_) {
        throw DiarizerError::notInitialized();
    }
    const ChunkGeometry geometry = ChunkGeometry::of(config_, sampleRate);
    const auto chunkSize = static_cast<std::size_t>(std::max<std::int64_t>(geometry.chunkSize, 1));
    std::vector<float> chunkBuffer(chunkSize, 0.0f);
    std::vector<TimedSpeakerSegment> segments;
    PipelineTimings::Stages stages{.modelCompilationSeconds = models_->compilationDuration};
    const double total = static_cast<double>(samples.size());
    for (const std::size_t start : geometry.chunkStarts(samples.size())) {
        const auto chunk = samples.subspan(start, std::min(chunkSize, samples.size() - start));
        const double offset = atTime + static_cast<double>(start) / sampleRate;
        auto result = processChunkWithSpeakerTracking(chunk, offset, *models_, chunkBuffer);
        segments.insert(segments.end(), result.segments.begin(), result.segments.end());
        if (progressHandler) {
            progressHandler(std::min(total, static_cast<double>(start) + static_cast<double>(geometry.chunkStep)) /
                            total);
        }
        stages.segmentationSeconds += result.segmentationSeconds;
        stages.embeddingExtractionSeconds += result.embeddingSeconds;
        stages.speakerClusteringSeconds += result.clusteringSeconds;
    }
    if (progressHandler) {
        progressHandler(1.0);
    }
    const auto postProcessingStart = Clock::now();
    stages.postProcessingSeconds = secondsBetween(postProcessingStart, Clock::now());
    return resultOf(std::move(segments), stages);
}

DiarizerManager::ChunkResult DiarizerManager::processChunkWithSpeakerTracking(std::span<const float> chunk,
                                                                              double chunkOffset,
                                                                              const DiarizerModels& models,
                                                                              std::vector<float>& chunkBuffer) {
    const auto segmentationStart = Clock::now();
    loadChunk(chunk, chunkBuffer, chunkBuffer.size());
    auto frames = segmentationProcessor_
                      .getSegments(chunkBuffer, *models.segmentationModel,
                                   static_cast<std::size_t>(ChunkGeometry::segmentationInputLength))
                      .segments.front();
    const auto embeddingStart = Clock::now();
    if (!embeddingExtractor_) {
        throw DiarizerError::notInitialized();
    }
    auto embeddings = embeddingExtractor_->getEmbeddings(chunkBuffer, LocalSpeakerActivity::cleanSpeechMasks(frames),
                                                         config_.minActiveFramesCount);
    const auto clusteringStart = Clock::now();
    auto activities = LocalSpeakerActivity::calculateSpeakerActivities(frames);
    auto speakerIds = trackSpeakers(embeddings, activities);
    const auto clusteringEnd = Clock::now();
    return {.segments = segmentBuilder_.createTimedSegments(
                {.frames = std::move(frames),
                 .slidingWindow = {.start = chunkOffset, .duration = frameDuration, .step = frameStep},
                 .embeddings = std::move(embeddings),
                 .speakerIds = std::move(speakerIds),
                 .speakerActivities = std::move(activities)}),
            .segmentationSeconds = secondsBetween(segmentationStart, embeddingStart),
            .embeddingSeconds = secondsBetween(embeddingStart, clusteringStart),
            .clusteringSeconds = secondsBetween(clusteringStart, clusteringEnd)};
}

std::vector<std::string> DiarizerManager::trackSpeakers(const std::vector<std::vector<float>>& embeddings,
                                                        const std::vector<float>& activities) {
    std::vector<std::string> ids(activities.size());
    for (std::size_t speaker = 0; speaker < activities.size() && speaker < embeddings.size(); ++speaker) {
        if (activities[speaker] <= config_.minActiveFramesCount ||
            !audioValidation_.validateEmbedding(embeddings[speaker])) {
            continue;
        }
        const auto assigned =
            speakerManager_.assignSpeaker(embeddings[speaker], activities[speaker] * static_cast<float>(frameStep));
        if (assigned) {
            ids[speaker] = assigned->id();
        }
    }
    return ids;
}

DiarizationResult DiarizerManager::resultOf(std::vector<TimedSpeakerSegment> segments,
                                            const PipelineTimings::Stages& stages) const {
    DiarizationResult result{.segments = std::move(segments)};
    if (config_.debugMode) {
        std::map<std::string, std::vector<float>> database;
        for (const auto& [id, speaker] : speakerManager_.speakerDatabase()) {
            database.emplace(id, speaker.currentEmbedding);
        }
        result.speakerDatabase = std::move(database);
        result.timings = PipelineTimings(stages);
    }
    return result;
}

} // namespace quorl
