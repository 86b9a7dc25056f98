#include "QuorlAudio/diarization/offline/EmbeddingExtractionRun.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"
#include "QuorlAudio/diarization/offline/ProfileLog.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t maxFbankBatch = 32;

const AppLogger& logger() {
    static const AppLogger instance("OfflineEmbedding");
    return instance;
}


} // namespace

EmbeddingExtractionRun::EmbeddingExtractionRun(const OfflineEmbeddingExtractor& extractor,
                                               const AudioSampleSource& audioSource)
    : extractor_(extractor), audioSource_(audioSource), sampleCount_(audioSource.sampleCount()),
      windowSamples_(extractor.config().samplesPerWindow()),
      fbankBatchLimit_(static_cast<std::size_t>(std::min(extractor.modelBatchLimit(), maxFbankBatch))),
      window_(static_cast<std::size_t>(windowSamples_)),
      speakers_(
          extractor, [&extractor](const auto& embeddings) { return extractor.pldaTransform().transform(embeddings); },
          statistics_) {
    batchInputs_.reserve(fbankBatchLimit_);
    batchInfos_.reserve(fbankBatchLimit_);
}

std::vector<TimedEmbedding> EmbeddingExtractionRun::run(platform::core::AsyncStream<SegmentationChunk>& stream) {
    warmUp();
    // A cancelled task also ends the stream, so the check after the loop tells that apart from its end.
    for (auto& chunk : stream) {
        platform::core::Task::checkCancellation();
        accept(chunk);
    }
    platform::core::Task::checkCancellation();
    if (!batchInputs_.empty()) {
        runFbankBatch();
    }
    if (speakers_.hasPending()) {
        speakers_.flush();
    }
    logSummary();
    return speakers_.takeResults();
}

void EmbeddingExtractionRun::warmUp() const {
    try {
        extractor_.performEmbeddingWarmup();
    } catch (const std::exception& error) {
        logger().debug(std::string("Embedding warmup skipped due to error: ") + error.what());
    }
}

void EmbeddingExtractionRun::accept(SegmentationChunk& chunk) {
    const std::size_t frames = chunk.speakerWeights.size();
    if (frames == 0) {
        return;
    }
    const double windowDuration = extractor_.config().segmentation.windowDurationSeconds;
    const double frameDuration =
        chunk.frameDuration > 0 ? chunk.frameDuration : windowDuration / static_cast<double>(frames);
    const double offset = std::isfinite(chunk.chunkOffsetSeconds)
                              ? chunk.chunkOffsetSeconds
                              : windowDuration * static_cast<double>(chunk.chunkIndex);
    // Clamped while still in floating point, so a far-off window never becomes an integer it cannot hold.
    const double position = std::round(offset * static_cast<double>(extractor_.config().segmentation.sampleRate));
    const auto start = static_cast<std::int64_t>(std::clamp(position, 0.0, static_cast<double>(sampleCount_)));
    const std::int64_t length = std::min(sampleCount_ - start, windowSamples_);
    if (length <= 0) {
        return;
    }
    std::fill(window_.begin(), window_.end(), 0.0f);
    audioSource_.copySamples(window_.data(), start, windowSamples_);
    batchInputs_.push_back(extractor_.prepareFbankInput(window_.data(), length));
    ++statistics_.fbankWindows;
    batchInfos_.push_back(OfflineChunkBatchInfo{
        .chunkIndex = chunk.chunkIndex,
        .chunkOffsetSeconds = offset,
        .frameDuration = frameDuration,
        .speakerWeights = std::move(chunk.speakerWeights),
    });
    if (batchInputs_.size() == fbankBatchLimit_) {
        runFbankBatch();
    }
}

void EmbeddingExtractionRun::runFbankBatch() {
    const auto start = Clock::now();
    const auto features = extractor_.runFbankBatch(batchInputs_);
    statistics_.fbank += Clock::now() - start;
    ++statistics_.fbankBatches;
    if (features.size() != batchInfos_.size()) {
        throw OfflineDiarizationError::processingFailed(
            concatenated({"FBANK batch produced mismatched output count (", std::to_string(features.size()), " vs ",
                          std::to_string(batchInfos_.size()), ")"}));
    }
    for (std::size_t index = 0; index < features.size(); ++index) {
        speakers_.processChunk(batchInfos_[index], features[index]);
    }
    speakers_.clearSkipCache();
    batchInputs_.clear();
    batchInfos_.clear();
}

void EmbeddingExtractionRun::logSummary() const {
    logger().debug(statistics_.masksLine(speakers_.results().size()));
    if (const auto timings = statistics_.timingsLine()) {
        logger().debug(*timings);
        emitProfileLog(*timings, logger());
    }
}

} // namespace quorl
