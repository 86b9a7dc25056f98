#pragma once

#include "QuorlAudio/diarization/chunked/ChunkEmbedding.hpp"
#include "QuorlAudio/diarization/chunked/PipelineTimings.hpp"
#include "QuorlAudio/diarization/chunked/TimedSpeakerSegment.hpp"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// What both diarizers return.
struct DiarizationResult {
    // The speaker turns, in the order the producing pipeline defines.
    std::vector<TimedSpeakerSegment> segments{};
    // Speaker id to that speaker's representative embedding, when the producer fills it.
    std::optional<std::map<std::string, std::vector<float>>> speakerDatabase{};
    // Per-chunk, per-local-speaker embeddings, when the producer fills them.
    std::optional<std::vector<ChunkEmbedding>> chunkEmbeddings{};
    std::optional<PipelineTimings> timings{};
};

} // namespace quorl
