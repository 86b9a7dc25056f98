#pragma once

#include "QuorlAudio/asr/batch/ASRResult.hpp"
#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/ChunkGeometry.hpp"
#include "QuorlAudio/asr/batch/ChunkSeamMerger.hpp"
#include "QuorlAudio/asr/batch/DecodedToken.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"
#include "QuorlAudio/foundation/Language.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {

class AsrManager;

// Transcribes a recording longer than one model window: cuts it into overlapping chunks (ChunkGeometry), decodes every chunk on its own with a fresh
// decoder state on a pool of recognisers, and joins the chunks' tokens into one list without the seam's
// duplicates. Samples are read by position from the source, so a disk-backed recording is never loaded whole.
// A value: none of its operations changes it.
struct ChunkProcessor {
    using Vocabulary = ChunkSeamMerger::Vocabulary;
    using SpliceSafeIds = ChunkSeamMerger::SpliceSafeIds;
    using CaseVariantIds = ChunkSeamMerger::CaseVariantIds;
    using ProgressHandler = std::function<void(double progress)>;
    using TimePoint = std::chrono::steady_clock::time_point;

    using ChunkStartDecision = ChunkGeometry::ChunkStartDecision;
    using ChunkLayout = ChunkGeometry::ChunkLayout;

    std::shared_ptr<const AudioSampleSource> sampleSource;
    // 16 kHz mono samples to transcribe.
    std::int64_t totalSamples = 0;
    AppLogger logger;
    // Target overlap of consecutive chunks, and the width of the merge window.
    double overlapSeconds = 0;
    // Left context prepended to every chunk but the first when mel-spectrogram context is on.
    std::int64_t melContextSamples = 0;
    // Encoder frames of warm-up prefix for v3 without mel context.
    int noMelWarmupPrefixFrames = 0;

    // Where the chunks lie.
    ChunkGeometry geometry() const;

    // How the chunks' tokens are joined at their seams.
    ChunkSeamMerger merger() const;

    // The whole transcription on a pool of clones of `manager`. Cancelled through the calling task's token.
    ASRResult process(const std::shared_ptr<AsrManager>& manager, TimePoint startTime,
                      const ProgressHandler& progressHandler, std::optional<Language> language) const;
    // The road that probes three chunk grids and decodes the chosen one chunk after another.
    ASRResult processWithDualDecodeArbitration(const std::shared_ptr<AsrManager>& manager,
                                               const std::vector<std::shared_ptr<AsrManager>>& workers,
                                               int decoderLayers, int maxModelSamples,
                                               std::optional<AsrModelVersion> modelVersion, TimePoint startTime,
                                               const ProgressHandler& progressHandler,
                                               std::optional<Language> language) const;

private:
    // Parallel transcription internals.

    // What the job of one chunk hands back: the chunk's number, its tokens and the worker that decoded it.
    struct TaskResult {
        int index = 0;
        std::vector<DecodedToken> tokens;
        int workerIndex = 0;
    };
    // One chunk as the dispatch loop hands it to a worker.
    struct ChunkTask;
    // The free workers, the chunks in flight and their results during one parallel transcription.
    class ChunkDispatch;

    // `manager` followed by clones of it sharing its models, `count` in all; none when `count` is below 1 or a
    // clone cannot be made.
    std::optional<std::vector<std::shared_ptr<AsrManager>>> makeWorkerPool(const std::shared_ptr<AsrManager>& manager,
                                                                           int count) const;
    // Decodes the chunks that `starts` and the layout cut, each on the worker that has been free longest, and
    // returns their tokens in chunk order.
    std::vector<std::vector<DecodedToken>> decodeChunks(const std::vector<std::shared_ptr<AsrManager>>& workers,
                                                        const ChunkLayout& layout,
                                                        const std::vector<ChunkStartDecision>& starts,
                                                        int decoderLayers, const ProgressHandler& progressHandler,
                                                        std::optional<Language> language) const;
    // The `count` samples from `offset`, followed by zeros up to `minimumLength`.
    std::vector<float> paddedSamples(std::int64_t offset, std::int64_t count, std::int64_t minimumLength) const;
    // One chunk of the dual-decode road with a fresh decoder state; the `warmupSamples` before `chunkStart` are
    // decoded in front of it without emitting their tokens.
    std::vector<DecodedToken> decodeOneChunk(std::int64_t chunkStart, std::int64_t chunkSamples,
                                             std::int64_t warmupSamples, AsrManager& manager, int decoderLayers,
                                             int maxModelSamples, std::optional<Language> language) const;
    // The chunks' tokens joined into one list: a single chunk's only sorted, several merged left to right.
    std::vector<DecodedToken> mergedTokens(const AsrManager& manager,
                                           const std::vector<std::vector<DecodedToken>>& chunkResults) const;
    // The transcription's result from the chunks' tokens, built by `manager`.
    ASRResult assembleResult(const AsrManager& manager, const std::vector<std::vector<DecodedToken>>& chunkResults,
                             TimePoint startTime) const;
};

} // namespace quorl
