#pragma once

#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"

#include <optional>
#include <span>
#include <vector>

namespace quorl {

// The model input windows of a whole recording (16 kHz mono): the log-mel frames are computed once, then each
// call hands out one core chunk with its left and right context, cut as the live stream cuts them. Counts are
// mel frames.
class SortformerFeatureLoader {
public:
    struct Window {
        std::vector<float> chunkFeatures;
        int chunkLength;
        // Context frames before and after the core.
        int leftOffset;
        int rightOffset;

        bool operator==(const Window&) const = default;
    };

    SortformerFeatureLoader(const SortformerConfig& config, std::span<const float> audio);

    // The next window, or nothing once no further core has its whole right context inside the recording.
    std::optional<Window> next();

    // Windows the iteration yields when the right context is at least one frame.
    int numChunks() const { return numChunks_; }
    int lc() const { return lc_; }
    int rc() const { return rc_; }
    int chunkLen() const { return chunkLen_; }
    int melFeatures() const { return melFeatures_; }
    // The recording's frames, frame-major.
    const std::vector<float>& featSeq() const { return featSeq_; }
    int featLength() const { return featLength_; }
    int featSeqLength() const { return featSeqLength_; }
    // First core frame of the next window, and the end of the last core computed.
    int startFeat() const { return startFeat_; }
    int endFeat() const { return endFeat_; }

private:
    int lc_;
    int rc_;
    int chunkLen_;
    int melFeatures_;
    std::vector<float> featSeq_;
    int featLength_;
    int featSeqLength_;
    int numChunks_;
    int startFeat_ = 0;
    int endFeat_ = 0;
};

} // namespace quorl
