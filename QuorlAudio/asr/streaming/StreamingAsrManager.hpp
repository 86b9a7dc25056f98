#pragma once

#include "platform/audio/PCMBuffer.hpp"

#include <functional>
#include <string>

namespace quorl {

// The one interface of the toolkit's live engines: load the models, feed audio as it arrives, decode in the
// caller's own rhythm, read the partial text and finish an utterance. Each engine serialises its operations,
// so any thread may call them.
class StreamingAsrManager {
public:
    // Receives the whole transcript so far, not the increment. It runs while the engine is busy decoding,
    // on the thread that asked for the decoding, and must not call back into the same engine and wait.
    using PartialTranscriptCallback = std::function<void(const std::string& transcript)>;

    virtual ~StreamingAsrManager() = default;

    // The engine and its chunk geometry, for people.
    virtual std::string displayName() const = 0;
    // Fetches what is missing into the default model cache, loads it and prepares fresh decoding state.
    virtual void loadModels() = 0;
    // Converts the buffer to 16 kHz mono and buffers it; decodes nothing. A failed conversion appends nothing.
    virtual void appendAudio(const platform::audio::PCMBuffer& buffer) = 0;
    // Decodes every complete chunk buffered; a shorter remainder waits for more audio.
    virtual void processBufferedAudio() = 0;
    // Decodes what remains and returns the utterance's transcript, trimmed.
    virtual std::string finish() = 0;
    // Back to the freshly loaded state: audio, transcript and decoding state go; models and callback stay.
    virtual void reset() = 0;
    // reset(), then releases the models; the callback stays.
    virtual void cleanup() = 0;
    virtual void setPartialTranscriptCallback(PartialTranscriptCallback callback) = 0;
    // The transcript so far, as finish() would return it.
    virtual std::string getPartialTranscript() const = 0;
};

} // namespace quorl
