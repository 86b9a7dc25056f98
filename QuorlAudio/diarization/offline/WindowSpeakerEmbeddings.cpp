#include "QuorlAudio/diarization/offline/WindowSpeakerEmbeddings.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"
#include "QuorlAudio/diarization/offline/SpeakerMask.hpp"
#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace quorl {
namespace {

using platform::core::concatenated;
using platform::ml::DataType;
using Clock = std::chrono::steady_clock;

// Frames a mask needs before its overlap-free form is used: the configured minimum duration in frames.
float minimumActiveFrames(double minSegmentDurationSeconds, double frameDuration) {
    if (!(frameDuration > 0)) {
        return 1.0f;
    }
    return static_cast<float>(std::max(1.0, std::ceil(minSegmentDurationSeconds / frameDuration)));
}

// Rows of different lengths would make the matrix copy read past a row.
void checkRowLengths(const OfflineChunkBatchInfo& info, std::size_t speakers) {
    const auto& rows = info.speakerWeights;
    for (std::size_t frame = 0; frame < rows.size(); ++frame) {
        if (rows[frame].size() != speakers) {
            throw OfflineDiarizationError::processingFailed(
                concatenated({"Speaker weights of window ", std::to_string(info.chunkIndex),
                              " differ in length (frame ", std::to_string(frame), " has ",
                              std::to_string(rows[frame].size()), ", frame 0 has ", std::to_string(speakers), ")"}));
        }
    }
}

float sum(std::span<const float> values) { return platform::dsp::sum(values.data(), values.size()); }

} // namespace

WindowSpeakerEmbeddings::WindowSpeakerEmbeddings(const OfflineEmbeddingExtractor& extractor, Projection projection,
                                                 EmbeddingStatistics& statistics)
    : extractor_(extractor), projection_(std::move(projection)), statistics_(statistics),
      pldaBatchSize_(
          std::max<std::int64_t>(1, std::min(extractor.modelBatchLimit(), extractor.config().embedding.batchSize))),
      skipThreshold_(extractor.config().embedding.skipStrategy.maskSimilarityThreshold) {
    pendingEmbeddings_.reserve(static_cast<std::size_t>(pldaBatchSize_));
    pendingRecords_.reserve(static_cast<std::size_t>(pldaBatchSize_));
    results_.reserve(static_cast<std::size_t>(std::max<std::int64_t>(1, extractor.config().embedding.batchSize)) * 8);
}

void WindowSpeakerEmbeddings::processChunk(const OfflineChunkBatchInfo& info,
                                           const std::shared_ptr<platform::ml::MultiArray>& fbankFeatures) {
    const std::size_t frames = info.speakerWeights.size();
    const std::size_t speakers = frames == 0 ? 0 : info.speakerWeights.front().size();
    if (speakers == 0) {
        return;
    }
    checkRowLengths(info, speakers);
    const float minimum =
        minimumActiveFrames(extractor_.config().embedding.minSegmentDurationSeconds, info.frameDuration);
    const auto matrix = rowMajor(info, speakers);
    const auto overlapped = extractor_.config().embedding.excludeOverlap
                                ? SpeakerMask::overlappedFrames(matrix, speakers)
                                : std::vector<bool>(frames, false);
    const auto columns = transposed(matrix, frames, speakers);
    for (std::size_t speaker = 0; speaker < speakers; ++speaker) {
        processSpeaker(info, fbankFeatures, columns.subspan(speaker * frames, frames),
                       static_cast<std::int64_t>(speaker), overlapped, minimum);
    }
    statistics_.maskEvaluations += static_cast<std::int64_t>(speakers);
}

std::span<const float> WindowSpeakerEmbeddings::rowMajor(const OfflineChunkBatchInfo& info, std::size_t speakers) {
    const std::size_t frames = info.speakerWeights.size();
    const auto buffer = extractor_.memoryOptimizer()->getPooledBuffer(
        concatenated({"offline_embedding_row_major_", std::to_string(frames), "_", std::to_string(speakers)}),
        {frames, speakers}, DataType::float32);
    float* values = buffer->data<float>();
    for (std::size_t frame = 0; frame < frames; ++frame) {
        platform::dsp::copy(info.speakerWeights[frame].data(), values + frame * speakers, speakers);
    }
    return {values, frames * speakers};
}

// Each speaker's weights over all frames, contiguous.
std::span<const float> WindowSpeakerEmbeddings::transposed(std::span<const float> rowMajor, std::size_t frames,
                                                           std::size_t speakers) {
    const auto buffer = extractor_.memoryOptimizer()->getPooledBuffer(
        concatenated({"offline_embedding_transposed_", std::to_string(speakers), "_", std::to_string(frames)}),
        {speakers, frames}, DataType::float32);
    float* values = buffer->data<float>();
    for (std::size_t speaker = 0; speaker < speakers; ++speaker) {
        platform::dsp::copy(rowMajor.data() + speaker, speakers, values + speaker * frames, 1, frames);
    }
    return {values, frames * speakers};
}

void WindowSpeakerEmbeddings::processSpeaker(const OfflineChunkBatchInfo& info,
                                             const std::shared_ptr<platform::ml::MultiArray>& features,
                                             std::span<const float> mask, std::int64_t speaker,
                                             const std::vector<bool>& overlapped, float minimumActiveFrames) {
    const auto preparationStart = Clock::now();
    auto chosen = chooseMask(mask, overlapped, minimumActiveFrames);
    statistics_.maskPreparation += Clock::now() - preparationStart;
    if (!chosen) {
        ++statistics_.emptyMasks;
        return;
    }
    const auto resamplingStart = Clock::now();
    const auto resampled = resample(chosen->weights);
    statistics_.resampling += Clock::now() - resamplingStart;
    if (resampled.empty() || sum(resampled) <= 0) {
        ++statistics_.emptyMasks;
        return;
    }
    auto embedding = embed(speaker, chosen->weights, resampled, features);
    enqueue(info, speaker, std::move(*chosen), std::move(embedding));
    if (static_cast<std::int64_t>(pendingRecords_.size()) >= pldaBatchSize_) {
        flush();
    }
}

// The overlap-free mask when it holds enough clean weight for a segment, else the full mask; none when the
// speaker is silent or too little of its activity is clean.
std::optional<WindowSpeakerEmbeddings::ChosenMask>
WindowSpeakerEmbeddings::chooseMask(std::span<const float> mask, const std::vector<bool>& overlapped,
                                    float minimumActiveFrames) {
    const float maskSum = sum(mask);
    if (maskSum <= 0) {
        return std::nullopt;
    }
    std::vector<float> clean(mask.begin(), mask.end());
    for (std::size_t frame = 0; frame < clean.size(); ++frame) {
        clean[frame] = overlapped[frame] ? 0.0f : clean[frame];
    }
    const float cleanSum = sum(clean);
    if (cleanSum < 0.2f * static_cast<float>(mask.size())) {
        return std::nullopt;
    }
    if (minimumActiveFrames <= cleanSum) {
        return ChosenMask{std::move(clean), cleanSum};
    }
    ++statistics_.fallbackMasks;
    return ChosenMask{{mask.begin(), mask.end()}, maskSum};
}

std::vector<float> WindowSpeakerEmbeddings::resample(const std::vector<float>& mask) {
    const auto frames = static_cast<std::int64_t>(mask.size());
    const std::int64_t target = extractor_.weightFrameCount();
    if (frames == target) {
        return mask;
    }
    auto found = coefficients_.find(frames);
    if (found == coefficients_.end()) {
        found = coefficients_.try_emplace(frames, frames, target).first;
    }
    return found->second.interpolate(mask);
}

std::vector<float> WindowSpeakerEmbeddings::embed(std::int64_t speaker, const std::vector<float>& mask,
                                                  std::span<const float> resampled,
                                                  const std::shared_ptr<platform::ml::MultiArray>& features) {
    if (skipThreshold_) {
        const auto cached = skipCache_.find(speaker);
        if (cached != skipCache_.end() &&
            SpeakerMask::maskCosineSimilarity(mask, cached->second.mask) >= *skipThreshold_) {
            ++statistics_.skipped;
            return cached->second.embedding;
        }
    }
    const auto start = Clock::now();
    auto embedding = extractor_.runEmbeddingModel(features, extractor_.prepareWeightsInput(resampled));
    statistics_.embedding += Clock::now() - start;
    if (skipThreshold_) {
        skipCache_.insert_or_assign(speaker, CachedSpeakerEmbedding{mask, embedding});
    }
    return embedding;
}

void WindowSpeakerEmbeddings::enqueue(const OfflineChunkBatchInfo& info, std::int64_t speaker, ChosenMask chosen,
                                      std::vector<float> embedding) {
    const auto [startFrame, endFrame] = SpeakerMask::activeExtent(chosen.weights);
    ++statistics_.validMasks;
    statistics_.activeFrames += static_cast<double>(chosen.activeSum);
    pendingEmbeddings_.push_back(embedding);
    pendingRecords_.push_back(TimedEmbedding{
        .chunkIndex = info.chunkIndex,
        .speakerIndex = speaker,
        .startFrame = startFrame,
        .endFrame = endFrame,
        .frameWeights = std::move(chosen.weights),
        .startTime = info.chunkOffsetSeconds + info.frameDuration * static_cast<double>(startFrame),
        .endTime = info.chunkOffsetSeconds + info.frameDuration * static_cast<double>(endFrame + 1),
        .embedding256 = std::move(embedding),
        .rho128 = {},
    });
}

void WindowSpeakerEmbeddings::flush() {
    const auto start = Clock::now();
    auto rho = projection_(pendingEmbeddings_);
    statistics_.plda += Clock::now() - start;
    ++statistics_.pldaBatches;
    statistics_.pldaEmbeddings += static_cast<std::int64_t>(rho.size());
    if (rho.size() != pendingRecords_.size()) {
        throw OfflineDiarizationError::processingFailed(
            concatenated({"PldaRho batch size mismatch (expected ", std::to_string(pendingRecords_.size()), ", got ",
                          std::to_string(rho.size()), ")"}));
    }
    for (std::size_t index = 0; index < rho.size(); ++index) {
        pendingRecords_[index].rho128 = std::move(rho[index]);
        results_.push_back(std::move(pendingRecords_[index]));
    }
    pendingEmbeddings_.clear();
    pendingRecords_.clear();
}

} // namespace quorl
