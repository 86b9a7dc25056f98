#pragma once

#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"

#include <optional>
#include <vector>

namespace quorl {

// The memory a Sortformer stream carries from one model step to the next: the compressed speaker cache, the
// FIFO of the newest frames (both as frame-major embeddings of preEncoderDims values) and the running mean of
// the embeddings of silent frames that fills the silence slots of the cache.
struct SortformerStreamingState {
    // An empty cache and FIFO with storage reserved for their largest size, so steady-state appends do not
    // reallocate.
    explicit SortformerStreamingState(const SortformerConfig& config);

    std::vector<float> spkcache;
    int spkcacheLength = 0;
    // Absent until the cache is first compressed.
    std::optional<std::vector<float>> spkcachePreds;
    std::vector<float> fifo;
    int fifoLength = 0;
    // Absent until the first update.
    std::optional<std::vector<float>> fifoPreds;
    std::vector<float> meanSilenceEmbedding;
    int silenceFrameCount = 0;
};

} // namespace quorl
