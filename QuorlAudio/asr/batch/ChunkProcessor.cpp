#include "QuorlAudio/asr/batch/ChunkProcessor.hpp"

#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"
#include "QuorlAudio/asr/batch/DualDecodeArbitration.hpp"
#include "QuorlAudio/asr/batch/DualDecodeProbe.hpp"
#include "QuorlAudio/asr/batch/HypothesisTokens.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"

#include "platform/core/AsyncStream.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"
#include "platform/core/TaskGroup.hpp"
#include "platform/core/ThreadPool.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <deque>
#include <optional>
#include <utility>

namespace quorl {

namespace {

constexpr std::int64_t samplesPerFrame = ASRConstants::samplesPerEncoderFrame;
constexpr int windowSamples = ASRConstants::maxModelSamples;

} // namespace

ChunkSeamMerger ChunkProcessor::merger() const { return ChunkSeamMerger{.overlapSeconds = overlapSeconds}; }

ChunkGeometry ChunkProcessor::geometry() const {
    return ChunkGeometry{.sampleSource = sampleSource,
                         .totalSamples = totalSamples,
                         .overlapSeconds = overlapSeconds,
                         .melContextSamples = melContextSamples,
                         .noMelWarmupPrefixFrames = noMelWarmupPrefixFrames};
}

struct ChunkProcessor::ChunkTask {
    std::shared_ptr<AsrManager> worker;
    int workerIndex;
    int index;
    // The chunk's audio, its context first, followed by zeros up to the model window.
    std::vector<float> samples;
    // Samples of audio at the front of `samples`, context included.
    std::int64_t sampleCount;
    std::int64_t contextSamples;
    // Where the chunk's own audio begins in the recording.
    std::int64_t start;
    bool isLastChunk;
    int decoderLayers;
    std::optional<Language> language;

    TaskResult run() const {
        // Chunks are decoded independently: nothing of one chunk's decoding reaches the next.
        TdtDecoderState decoderState = TdtDecoderState::make(decoderLayers);
        decoderState.reset();
        if (sampleCount == 0) {
            return TaskResult{.index = index, .tokens = {}, .workerIndex = workerIndex};
        }
        const AsrWindowInference::InferenceResult inference = worker->windowInference().executeMLInferenceWithTimings({
            .samples = samples,
            .originalLength = static_cast<int>(sampleCount),
            .actualAudioFrames = ASRConstants::calculateEncoderFrames(static_cast<int>(sampleCount - contextSamples)),
            .context = {.decoderState = decoderState,
                        .contextFrameAdjustment = static_cast<int>(contextSamples / samplesPerFrame),
                        .isLastChunk = isLastChunk,
                        .globalFrameOffset = static_cast<int>(start / samplesPerFrame),
                        .language = language},
        });
        return TaskResult{
            .index = index,
            .tokens = hypothesisTokens(inference.hypothesis, inference.encoderSequenceLength),
            .workerIndex = workerIndex,
        };
    }
};

// Chunks go to the worker that has been free longest; a worker gets a new chunk only after its last one came
// back, so no more chunks are in flight than there are workers. Each worker decodes on a thread of its own, as
// an actor would: a chunk blocks its thread for as long as its predictions take, and on a shared pool the
// chunks of transcriptions that themselves run on that pool could wait for threads that never come free.
// Destroying the dispatch (when a chunk failed or the transcription was cancelled) cancels the chunks still
// running and waits for them.
class ChunkProcessor::ChunkDispatch {
public:
    explicit ChunkDispatch(const std::vector<std::shared_ptr<AsrManager>>& workers)
        : workers_(workers), threads_(workers.size()), group_(threads_) {
        for (int index = 0; index < static_cast<int>(workers.size()); ++index) {
            freeWorkers_.push_back(index);
        }
    }

    int inFlight() const { return inFlight_; }
    bool hasFreeWorker() const { return !freeWorkers_.empty(); }
    const std::shared_ptr<AsrManager>& worker(int index) const { return workers_[static_cast<std::size_t>(index)]; }

    // The worker free longest, after collecting a result when none is free.
    int takeWorker() {
        if (freeWorkers_.empty()) {
            collectNextResult();
        }
        if (freeWorkers_.empty()) {
            return 0;
        }
        const int index = freeWorkers_.front();
        freeWorkers_.pop_front();
        return index;
    }

    void start(ChunkTask task) {
        slots_.emplace_back();
        ++inFlight_;
        group_.spawn([results = results_.continuation(), task = std::move(task)] {
            try {
                results.yield(task.run());
            } catch (...) {
                results.fail(std::current_exception());
                throw;
            }
        });
    }

    // Waits for the next chunk to come back and files its tokens; throws the error of a failed chunk, and the
    // cancellation error when the transcription is cancelled meanwhile.
    void collectNextResult() {
        if (inFlight_ == 0) {
            return;
        }
        std::optional<TaskResult> next = results_.next();
        if (!next) {
            // The results never finish, so they end early only for a cancelled caller.
            platform::core::Task::checkCancellation();
        }
        TaskResult result = std::move(next).value();
        slots_[static_cast<std::size_t>(result.index)] = std::move(result.tokens);
        freeWorkers_.push_back(result.workerIndex);
        --inFlight_;
    }

    // The tokens of every chunk, in chunk order. Call once nothing is in flight.
    std::vector<std::vector<DecodedToken>> takeResults() {
        std::vector<std::vector<DecodedToken>> chunks;
        chunks.reserve(slots_.size());
        for (auto& slot : slots_) {
            chunks.push_back(std::move(slot).value_or(std::vector<DecodedToken>()));
        }
        return chunks;
    }

private:
    const std::vector<std::shared_ptr<AsrManager>>& workers_;
    std::deque<int> freeWorkers_;
    std::vector<std::optional<std::vector<DecodedToken>>> slots_;
    int inFlight_ = 0;
    // Chunk results in the order the chunks finish, each job's result or the error it failed with.
    platform::core::AsyncStream<TaskResult> results_;
    // The threads are declared before the group, so that they outlive its jobs.
    platform::core::ThreadPool threads_;
    platform::core::TaskGroup group_;
};

ASRResult ChunkProcessor::process(const std::shared_ptr<AsrManager>& manager, TimePoint startTime,
                                  const ProgressHandler& progressHandler, std::optional<Language> language) const {
    const int poolSize = std::max(1, manager->parallelChunkConcurrency());
    const auto workers = makeWorkerPool(manager, poolSize).value_or(std::vector{manager});
    const int decoderLayers = manager->windowInference().decoderLayerCount();
    const bool melChunkContext = manager->melChunkContext();
    const auto modelVersion = manager->windowInference().modelVersion();
    const bool alignsToSilence = !melChunkContext && modelVersion == AsrModelVersion::v3;
    if (manager->dualDecodeArbitration() && alignsToSilence) {
        return processWithDualDecodeArbitration(manager, workers, decoderLayers, windowSamples, modelVersion, startTime,
                                                progressHandler, language);
    }
    const ChunkGeometry chunks = geometry();
    const ChunkLayout layout = chunks.chunkLayout(melChunkContext, modelVersion);
    const auto starts = alignsToSilence
                            ? chunks.silenceAlignedChunkStarts(layout.chunkSamples, layout.strideSamples, false)
                            : chunks.regularChunkStarts(layout.strideSamples);
    const auto chunkResults = decodeChunks(workers, layout, starts, decoderLayers, progressHandler, language);
    return assembleResult(*manager, chunkResults, startTime);
}

std::optional<std::vector<std::shared_ptr<AsrManager>>>
ChunkProcessor::makeWorkerPool(const std::shared_ptr<AsrManager>& manager, int count) const {
    if (count < 1) {
        return std::nullopt;
    }
    std::vector<std::shared_ptr<AsrManager>> workers{manager};
    if (count == 1) {
        return workers;
    }
    while (static_cast<int>(workers.size()) < count) {
        auto clone = manager->makeWorkerClone();
        if (clone == nullptr) {
            return std::nullopt;
        }
        workers.push_back(std::move(clone));
    }
    logger.debug(platform::core::concatenated({"ChunkProcessor using worker pool of size ", std::to_string(count)}));
    return workers;
}

std::vector<std::vector<DecodedToken>>
ChunkProcessor::decodeChunks(const std::vector<std::shared_ptr<AsrManager>>& workers, const ChunkLayout& layout,
                             const std::vector<ChunkStartDecision>& starts, int decoderLayers,
                             const ProgressHandler& progressHandler, std::optional<Language> language) const {
    ChunkDispatch dispatch(workers);
    int chunkNumber = 0;
    std::int64_t nextStart = starts.empty() ? 0 : starts.front().start;
    while (nextStart < totalSamples) {
        platform::core::Task::checkCancellation();
        const std::int64_t nominalEnd = nextStart + layout.chunkSamples;
        const std::int64_t end = std::min(nominalEnd, totalSamples);
        const bool isLastChunk = nominalEnd >= totalSamples;
        const std::int64_t context = chunkNumber > 0 ? layout.melContextSamples : 0;
        const std::int64_t readStart = nextStart - context;
        std::vector<float> samples = paddedSamples(readStart, end - readStart, windowSamples);
        const int workerIndex = dispatch.takeWorker();
        dispatch.start(ChunkTask{
            .worker = dispatch.worker(workerIndex),
            .workerIndex = workerIndex,
            .index = chunkNumber,
            .samples = std::move(samples),
            .sampleCount = end - readStart,
            .contextSamples = context,
            .start = nextStart,
            .isLastChunk = isLastChunk,
            .decoderLayers = decoderLayers,
            .language = language,
        });
        ++chunkNumber;
        // Tells how much of the recording has been handed to workers.
        if (progressHandler && !isLastChunk) {
            progressHandler(std::clamp(static_cast<double>(end) / static_cast<double>(totalSamples), 0.0, 1.0));
        }
        if (isLastChunk) {
            break;
        }
        const auto decision = static_cast<std::size_t>(chunkNumber);
        nextStart = decision < starts.size() ? starts[decision].start : nextStart + layout.strideSamples;
        if (!dispatch.hasFreeWorker() && dispatch.inFlight() > 0) {
            dispatch.collectNextResult();
        }
    }
    while (dispatch.inFlight() > 0) {
        platform::core::Task::checkCancellation();
        dispatch.collectNextResult();
    }
    return dispatch.takeResults();
}

std::vector<float> ChunkProcessor::paddedSamples(std::int64_t offset, std::int64_t count,
                                                 std::int64_t minimumLength) const {
    std::vector<float> samples(static_cast<std::size_t>(std::max(count, minimumLength)), 0.0f);
    sampleSource->copySamples(samples.data(), offset, count);
    return samples;
}

std::vector<DecodedToken>
ChunkProcessor::mergedTokens(const AsrManager& manager,
                             const std::vector<std::vector<DecodedToken>>& chunkResults) const {
    if (chunkResults.empty()) {
        return {};
    }
    std::vector<DecodedToken> merged = chunkResults.front();
    if (chunkResults.size() == 1) {
        ChunkSeamMerger::sortByTimestamp(merged);
        return merged;
    }
    const Vocabulary vocabulary = manager.windowInference().vocabulary();
    const auto spliceSafeIds = ChunkSeamVocabulary::spliceSafeTokenIds(vocabulary);
    const auto caseVariantIds = ChunkSeamVocabulary::caseVariantCanonicalIds(vocabulary);
    const ChunkSeamMerger seams = merger();
    for (std::size_t chunk = 1; chunk < chunkResults.size(); ++chunk) {
        merged = seams.mergeChunks(merged, chunkResults[chunk], spliceSafeIds, caseVariantIds);
    }
    ChunkSeamMerger::sortByTimestamp(merged);
    return seams.collapseSeamWordDuplicates(merged, vocabulary);
}

ASRResult ChunkProcessor::assembleResult(const AsrManager& manager,
                                         const std::vector<std::vector<DecodedToken>>& chunkResults,
                                         TimePoint startTime) const {
    const std::vector<DecodedToken> tokens = mergedTokens(manager, chunkResults);
    const double processingTime = std::chrono::duration<double>(std::chrono::steady_clock::now() - startTime).count();
    std::vector<int> ids;
    std::vector<int> timestamps;
    std::vector<float> confidences;
    std::vector<int> durations;
    for (const DecodedToken& token : tokens) {
        ids.push_back(token.token);
        timestamps.push_back(token.timestamp);
        confidences.push_back(token.confidence);
        durations.push_back(token.duration);
    }
    const AsrTokenText tokenText = manager.windowInference().tokenText();
    std::string text = tokenText.convertTokensToText(ids);
    auto tokenTimings = tokenText.createTokenTimings(ids, timestamps, confidences, durations);
    const float confidence = tokenText.calculateConfidence(
        static_cast<int>(ids.size()), platform::text::isAllWhiteSpaceAndLineBreaks(text), confidences);
    return ASRResult{
        .text = std::move(text),
        .confidence = confidence,
        .duration = static_cast<double>(totalSamples) / static_cast<double>(manager.config().sampleRate),
        .processingTime = processingTime,
        .tokenTimings = std::move(tokenTimings),
        .performanceMetrics = std::nullopt,
        .ctcDetectedTerms = std::nullopt,
        .ctcAppliedTerms = std::nullopt,
    };
}

ASRResult ChunkProcessor::processWithDualDecodeArbitration(const std::shared_ptr<AsrManager>& manager,
                                                           const std::vector<std::shared_ptr<AsrManager>>& workers,
                                                           int decoderLayers, int maxModelSamples,
                                                           std::optional<AsrModelVersion>, TimePoint startTime,
                                                           const ProgressHandler& progressHandler,
                                                           std::optional<Language> language) const {
    constexpr std::int64_t chunk = DualDecodeArbitration::chunkSamples;
    const ChunkGeometry chunks = geometry();
    const std::int64_t stride = chunks.strideSamples(chunk);
    DualDecodeArbitration::Grids grids{
        .a = chunks.silenceAlignedChunkStarts(chunk, stride, false),
        .b = chunks.silenceAlignedChunkStarts(chunk, stride, true),
        .c = chunks.regularChunkStarts(stride),
    };
    // One recogniser decodes every chunk, one after another; the other workers stay idle on this road.
    AsrManager& decoder = workers.empty() ? *manager : *workers.front();
    const DualDecodeArbitration arbitration(
        std::move(grids), DualDecodeProbe::agreementTolerance(overlapSeconds),
        [&](std::int64_t start, std::int64_t warmup) {
            return decodeOneChunk(start, chunk, warmup, decoder, decoderLayers, maxModelSamples, language);
        },
        logger);
    return assembleResult(*manager, arbitration.run(progressHandler), startTime);
}

std::vector<DecodedToken> ChunkProcessor::decodeOneChunk(std::int64_t chunkStart, std::int64_t chunkSamples,
                                                         std::int64_t warmupSamples, AsrManager& manager,
                                                         int decoderLayers, int maxModelSamples,
                                                         std::optional<Language> language) const {
    const auto window = DualDecodeArbitration::chunkWindow(chunkStart, warmupSamples, chunkSamples, totalSamples);
    if (!window) {
        return {};
    }
    const std::vector<float> samples = paddedSamples(window->readStart, window->sampleCount, maxModelSamples);
    TdtDecoderState decoderState = TdtDecoderState::make(decoderLayers);
    decoderState.reset();
    const AsrWindowInference::InferenceResult inference = manager.windowInference().executeMLInferenceWithTimings({
        .samples = samples,
        .originalLength = static_cast<int>(window->sampleCount),
        .actualAudioFrames = window->actualAudioFrames,
        .context = {.decoderState = decoderState,
                    .contextFrameAdjustment = 0,
                    .isLastChunk = window->isLastChunk,
                    .globalFrameOffset = window->globalFrameOffset,
                    .language = language,
                    .emitTokensAfterGlobalFrame = window->emitTokensAfterGlobalFrame,
                    .initialTimeIndexOverride = window->initialTimeIndexOverride},
    });
    return hypothesisTokens(inference.hypothesis, inference.encoderSequenceLength);
}

} // namespace quorl
