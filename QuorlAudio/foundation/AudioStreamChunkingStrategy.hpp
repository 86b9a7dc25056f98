#pragma once

namespace quorl {

// What an AudioStream does when its consumer falls behind.
enum class AudioStreamChunkingStrategy {
    // Chunks stay on the skip grid while the buffer has room; on overflow the oldest audio is dropped so the
    // buffer holds the newest capacity's worth.
    useFixedSkip,
    // Every chunk is the newest audio; unread older audio is discarded.
    useMostRecent,
};

} // namespace quorl
