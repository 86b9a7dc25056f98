#pragma once

namespace quorl {

// What the first chunks of an AudioStream look like.
enum class AudioStreamStartupStrategy {
    // The first chunk is ready after one skip of audio and begins with the silent overlap before the stream start.
    startSilent,
    // Chunks start at the stream start and grow by one skip until they reach the full chunk size.
    rampUpChunkSize,
    // No chunk until a full chunk of audio has been written.
    waitForFullChunk,
};

} // namespace quorl
