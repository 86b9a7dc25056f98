#pragma once

#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowTranscriptionUpdate.hpp"

#include "platform/audio/PCMBuffer.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quorl {

// Audio for the recogniser's tests. Stream sample i holds the value i + 1, so the models' input tells which
// stream samples a window holds, and zero padding stands out.

// The values of stream samples [first, first + count).
std::vector<float> streamSamples(std::int64_t first, std::int64_t count);

// A 16 kHz mono Float32 buffer, the recogniser's own format, holding the samples.
std::shared_ptr<platform::audio::PCMBuffer> monoBuffer(std::span<const float> samples);

// Feeds stream samples [first, first + count) in buffers of `bufferFrames` (the last one shorter).
void streamRange(SlidingWindowAsrManager& manager, std::int64_t first, std::int64_t count,
                 std::size_t bufferFrames = 1024);

// Everything the stream holds, once it has ended.
std::vector<SlidingWindowTranscriptionUpdate> drained(SlidingWindowAsrManager::Updates updates);

} // namespace quorl
