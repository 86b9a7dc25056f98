#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsSessionSetup.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStreamingGenerator.hpp"
#include "platform/core/AsyncStream.hpp"
#include "platform/core/DetachedTask.hpp"

#include <memory>
#include <string>

namespace quorl {

// Speaks texts handed in one by one, in one voice, as one continuous stream of frames in the order the texts
// arrived. One generation task takes each non-empty text as an utterance, cuts it into chunks and speaks each
// chunk from the prefilled voice, so the voice is conditioned once per session; the codec state and the noise
// run on across all chunks and utterances. Frames carry their utterance's index.
//
// `frames` ends normally once the input is finished and spoken, or after a cancellation; it ends with the
// error of a chunk that fails, and later texts are then dropped. A consumer that cancels its reading or drops
// the stream (every copy, the session's own included) cancels the session. Dropping the session finishes its
// input. Safe to use from any thread.
class PocketTtsSession {
public:
    using TextStream = platform::core::AsyncStream<std::string>;

    // A running session, its task already waiting for text.
    static std::shared_ptr<PocketTtsSession> start(PocketTtsSessionSetup setup);

    ~PocketTtsSession();
    PocketTtsSession(const PocketTtsSession&) = delete;
    PocketTtsSession& operator=(const PocketTtsSession&) = delete;

    PocketTtsSynthesizer::FrameStream frames() const { return frames_; }

    // Texts after `finish` or `cancel` are dropped without notice.
    void enqueue(std::string text) const;
    // Texts already enqueued are still spoken, then `frames` ends. Later calls do nothing.
    void finish() const;
    // Stops at the next step, drops what is enqueued and returns once the generation has ended: no frame
    // follows, and `frames` has ended.
    void cancel() const;

private:
    PocketTtsSession(PocketTtsSynthesizer::FrameStream frames, TextStream::Continuation textContinuation,
                     platform::core::DetachedTask generationTask);

    const PocketTtsSynthesizer::FrameStream frames_;
    const TextStream::Continuation textContinuation_;
    const platform::core::DetachedTask generationTask_;
};

} // namespace quorl
