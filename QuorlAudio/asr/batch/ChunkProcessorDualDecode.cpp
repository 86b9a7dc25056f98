#include "QuorlAudio/asr/batch/ChunkProcessor.hpp"

#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"
#include "QuorlAudio/asr/batch/DualDecodeArbitration.hpp"
#include "QuorlAudio/asr/batch/DualDecodeProbe.hpp"
#include "QuorlAudio/asr/batch/HypothesisTokens.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"

namespace quorl {

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
