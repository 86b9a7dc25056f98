#include "QuorlAudio/diarization/offline/OfflineStageTasks.hpp"

#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"
#include "QuorlAudio/diarization/offline/OfflineSegmentationProcessor.hpp"
#include "QuorlAudio/diarization/offline/PLDATransform.hpp"
#include "platform/core/AsyncStream.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/DedicatedTask.hpp"
#include "platform/core/SecondsSince.hpp"

#include <atomic>
#include <chrono>
#include <exception>
#include <utility>

namespace quorl::OfflineStageTasks {
namespace {

using Stream = platform::core::AsyncStream<SegmentationChunk>;

std::int64_t estimatedWindows(const AudioSampleSource& audioSource, const OfflineDiarizerConfig& config) {
    const std::int64_t step = config.samplesPerStep();
    return std::max<std::int64_t>(1,
                                  audioSource.sampleCount() / step + (audioSource.sampleCount() % step != 0 ? 1 : 0));
}

// Hands each window to the progress callback and then to the stream, until the stream's consumer has gone.
OfflineSegmentationProcessor::ChunkHandler chunkHandler(const Stream::Continuation& continuation,
                                                        const ProgressCallback& progressCallback,
                                                        std::int64_t estimate) {
    return [&continuation, &progressCallback, estimate](const SegmentationChunk& chunk) {
        if (progressCallback) {
            progressCallback(chunk.chunkIndex + 1, estimate);
        }
        return continuation.yield(chunk) ? SegmentationChunkContinuation::proceed : SegmentationChunkContinuation::stop;
    };
}

void segment(const AudioSampleSource& audioSource, const OfflineDiarizerModels& models,
             const OfflineDiarizerConfig& config, const ProgressCallback& progressCallback,
             const Stream::Continuation& continuation, Results& results) {
    const auto start = std::chrono::steady_clock::now();
    try {
        results.segmentation = OfflineSegmentationProcessor().process(
            audioSource, *models.segmentationModel, config,
            chunkHandler(continuation, progressCallback, estimatedWindows(audioSource, config)));
    } catch (...) {
        continuation.fail(std::current_exception());
        throw;
    }
    continuation.finish();
    results.segmentationSeconds = platform::core::secondsSince(start);
}

// Ends the stream when extraction stops for any reason, so the segmentation stops handing windows over.
void extract(const AudioSampleSource& audioSource, const OfflineDiarizerModels& models,
             const OfflineDiarizerConfig& config, Stream& stream, Results& results) {
    struct EndOnExit {
        Stream& stream;
        ~EndOnExit() { stream.cancel(); }
    } end{stream};
    const OfflineEmbeddingExtractor extractor(models.fbankModel, models.embeddingModel,
                                              PLDATransform(models.pldaRhoModel, models.pldaPsi), config);
    const auto start = std::chrono::steady_clock::now();
    results.embeddings = extractor.extractEmbeddings(audioSource, stream);
    results.embeddingSeconds = platform::core::secondsSince(start);
}

void endBoth(platform::core::DedicatedTask& segmentation, platform::core::DedicatedTask& extraction,
             const Stream::Continuation& continuation) {
    segmentation.cancel();
    extraction.cancel();
    continuation.fail(std::current_exception());
}

} // namespace

Results run(const AudioSampleSource& audioSource, const OfflineDiarizerModels& models,
            const OfflineDiarizerConfig& config, const ProgressCallback& progressCallback) {
    auto [stream, continuation] = Stream::makeStream();
    Results results;
    platform::core::DedicatedTask segmentation(
        [&] { segment(audioSource, models, config, progressCallback, continuation, results); });
    std::atomic<bool> extractionFailed = false;
    // A failed extraction stops the segmentation at once rather than after the whole recording.
    platform::core::DedicatedTask extraction([&] {
        try {
            extract(audioSource, models, config, stream, results);
        } catch (...) {
            extractionFailed = true;
            segmentation.cancel();
            throw;
        }
    });
    try {
        segmentation.wait();
    } catch (const platform::core::CancellationError&) {
        if (!extractionFailed) {
            endBoth(segmentation, extraction, continuation);
            throw;
        }
    } catch (...) {
        endBoth(segmentation, extraction, continuation);
        throw;
    }
    extraction.wait();
    return results;
}

} // namespace quorl::OfflineStageTasks
