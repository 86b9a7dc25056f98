#include "QuorlAudio/diarization/streaming/SortformerStreamingState.hpp"

namespace quorl {

SortformerStreamingState::SortformerStreamingState(const SortformerConfig& config)
    : meanSilenceEmbedding(SortformerConfig::preEncoderDims, 0.0F) {
    constexpr auto dims = static_cast<std::size_t>(SortformerConfig::preEncoderDims);
    spkcache.reserve(static_cast<std::size_t>(config.spkcacheLen + config.spkcacheUpdatePeriod) * dims);
    fifo.reserve(static_cast<std::size_t>(config.fifoLen + config.chunkLen) * dims);
}

} // namespace quorl
