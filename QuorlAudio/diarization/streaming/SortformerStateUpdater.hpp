#pragma once

#include "QuorlAudio/diarization/streaming/SortformerStreamingState.hpp"
#include "QuorlAudio/diarization/streaming/StreamingUpdateResult.hpp"
#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"

#include <span>
#include <vector>

namespace quorl {

// Slots chosen for a compressed speaker cache: frame numbers in cache order, and which slots hold silence.
struct TopKSelection {
    std::vector<int> indices;
    std::vector<bool> isDisabled;
};

// Applies one model step to the streaming state: confirms the chunk's core frames, moves frames that overflow
// the FIFO into the speaker cache, keeps the silence embedding current, and compresses the cache back to its
// capacity by keeping each speaker's most telling frames.
class SortformerStateUpdater {
public:
    explicit SortformerStateUpdater(SortformerConfig config);

    // chunk holds the chunk's embeddings (leftContext + core + rightContext frames), preds the model's
    // predictions for cache, FIFO and chunk frames in that order. Throws SortformerError before touching the
    // FIFO, cache or silence profile when either is too short for the state.
    StreamingUpdateResult streamingUpdate(SortformerStreamingState& state, std::span<const float> chunk,
                                          std::span<const float> preds, int leftContext, int rightContext) const;

    static std::vector<float> applySigmoid(std::span<const float> values);

    // The k best (speaker, frame) pairs of frame-major scores, listed speaker by speaker in time order; pairs
    // scoring minus infinity and the last spkcacheSilFramesPerSpk frames become silence slots.
    TopKSelection getTopKIndices(std::span<const float> scores, int frameCount, int k) const;

    const SortformerConfig& config() const { return config_; }

private:
    void moveOverflowToCache(SortformerStreamingState& state, std::span<const float> preds, int cacheOnEntry) const;
    void updateSilenceProfile(SortformerStreamingState& state, std::span<const float> embs,
                              std::span<const float> preds, int frameCount) const;
    void compressSpkcache(SortformerStreamingState& state) const;
    std::vector<float> getLogPredScores(std::span<const float> preds, int frameCount) const;
    void disableLowScores(std::span<const float> preds, std::vector<float>& scores, int frameCount,
                          int minPosNum) const;
    void boostTopKScores(std::vector<float>& scores, int frameCount, int k, float scaleFactor) const;

    SortformerConfig config_;
};

} // namespace quorl
