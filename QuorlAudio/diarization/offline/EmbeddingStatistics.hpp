#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace quorl {

// The counters and stage times of one embedding extraction, for its summary in the debug log and the
// profiling line. They change no result.
struct EmbeddingStatistics {
    using Duration = std::chrono::steady_clock::duration;

    // Embeddings queued, masks rejected, overlap-free masks replaced by the full mask, embeddings reused from
    // the skip cache, and local speakers examined.
    std::int64_t validMasks = 0;
    std::int64_t emptyMasks = 0;
    std::int64_t fallbackMasks = 0;
    std::int64_t skipped = 0;
    std::int64_t maskEvaluations = 0;
    std::int64_t fbankWindows = 0;
    std::int64_t fbankBatches = 0;
    std::int64_t pldaBatches = 0;
    std::int64_t pldaEmbeddings = 0;
    // Sum of the active weight of every valid mask.
    double activeFrames = 0;
    Duration fbank{};
    Duration maskPreparation{};
    Duration resampling{};
    Duration embedding{};
    Duration plda{};

    // "Embedding masks generated: …" for `records` results, or the line saying no mask was valid.
    std::string masksLine(std::size_t records) const;
    // "Embedding timings: …"; none when no window, mask or PLDA projection was counted.
    std::optional<std::string> timingsLine() const;
};

} // namespace quorl
