#pragma once

#include "QuorlAudio/models/repo/Repo.hpp"

#include <string>

namespace quorl {

// The three geometries of the end-of-utterance models. Consecutive chunks overlap by chunkSamples minus
// shiftSamples; each chunk advances the timeline by validOutputLen encoder frames.
enum class StreamingChunkSize {
    ms160,
    ms320,
    ms1280,
};

// Samples fed to the encoder per chunk at 16 kHz: 2560, 10080, 20480.
int chunkSamples(StreamingChunkSize chunkSize);
// Samples the buffer advances after each chunk: 1280, 5120, 20480.
int shiftSamples(StreamingChunkSize chunkSize);
// Mel frames per chunk, 1 + (chunkSamples + 112) / 160: 17, 64, 129.
int melFrames(StreamingChunkSize chunkSize);
// The chunk's duration as texts give it: 160, 630 (not 320), 1280.
int durationMs(StreamingChunkSize chunkSize);
// Encoder frames decoded per chunk: 2, 4, 16.
int validOutputLen(StreamingChunkSize chunkSize);
// Mel frames of the encoder's "pre_cache": 16, 9, 16.
int preCacheSize(StreamingChunkSize chunkSize);
// The models' sub-folder: "160ms", "320ms", "1280ms".
std::string modelSubdirectory(StreamingChunkSize chunkSize);
// The repository of the geometry's models.
Repo repo(StreamingChunkSize chunkSize);

} // namespace quorl
