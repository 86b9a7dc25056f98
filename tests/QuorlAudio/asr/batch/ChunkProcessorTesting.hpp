#pragma once

#include "QuorlAudio/asr/batch/ChunkProcessor.hpp"
#include "QuorlAudio/asr/batch/DecodedToken.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"

#include <cstdint>
#include <memory>
#include <ostream>
#include <utility>

namespace quorl {

inline std::ostream& operator<<(std::ostream& stream, const DecodedToken& token) {
    return stream << "{token " << token.token << " at " << token.timestamp << ", " << token.confidence << "}";
}

inline std::ostream& operator<<(std::ostream& stream, const ChunkProcessor::ChunkLayout& layout) {
    return stream << "{" << layout.chunkSamples << ", " << layout.strideSamples << ", " << layout.melContextSamples
                  << ", " << layout.warmupPrefixSamples << "}";
}

inline std::ostream& operator<<(std::ostream& stream, const ChunkProcessor::ChunkStartDecision& decision) {
    return stream << "{" << decision.start << (decision.useWarmupPrefix ? ", warm-up}" : "}");
}

// A processor as the recogniser builds one: 2 s overlap, one frame of mel context, no warm-up prefix.
inline ChunkProcessor standardChunkProcessor(std::shared_ptr<const AudioSampleSource> source,
                                             std::int64_t totalSamples) {
    return ChunkProcessor{.sampleSource = std::move(source),
                          .totalSamples = totalSamples,
                          .logger = AppLogger("ChunkProcessor"),
                          .overlapSeconds = 2.0,
                          .melContextSamples = 1280,
                          .noMelWarmupPrefixFrames = 0};
}

} // namespace quorl
