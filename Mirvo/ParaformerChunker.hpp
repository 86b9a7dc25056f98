#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mirvo {

// The Mandarin session's audio and text, apart from any thread or recogniser: 16 kHz samples gather into
// chunks of 30 s that are handed over one at a time, the texts of finished chunks join into the session's
// committed text, and the end of a session gives up what is left.
//
// Each session has a generation of its own, and a handed-over chunk carries it, so a result that comes back
// after a newer session began changes nothing of that session. Audio that arrives while a chunk is being
// transcribed and the gathering chunk is full waits in the overflow (10 s at most; more is dropped) and opens
// the next chunk once the transcription ends. Not thread-safe: the owner serialises every call.
class ParaformerChunker {
public:
    static constexpr std::size_t chunkSamples = 480000;
    static constexpr std::size_t overflowLimit = 160000;

    // Audio to transcribe, and the session it belongs to.
    struct Chunk {
        std::vector<float> samples;
        std::uint64_t generation;
    };

    // What the end of a session leaves.
    struct Ending {
        bool wasListening;
        std::string committedText;
        // Every sample not yet handed over, the overflow's included, in order.
        std::vector<float> remainder;
    };

    // A new session: buffers and committed text emptied, no chunk outstanding, listening.
    void begin();

    // Adds captured samples while listening (they are dropped otherwise); the chunk to hand over, when the
    // gathering chunk was already full and none is being transcribed. A buffer that fills the chunk exactly
    // hands over nothing until the next one comes.
    std::optional<Chunk> append(std::span<const float> samples);

    // A handed-over chunk's transcription ended with `text` (none when it failed or there was nothing to run
    // it). Of the current session it joins a non-empty text to the committed text and lets the overflow follow
    // the gathering chunk, which is handed over at once when full; the result of an earlier session is
    // ignored. The chunk to hand over next, if any.
    std::optional<Chunk> finishChunk(std::uint64_t generation, const std::optional<std::string>& text);

    // Ends the session (if one is listening): no longer listening, the committed text taken and emptied, and
    // every sample not handed over taken.
    Ending end();

    // A chunk of the current session is being transcribed.
    bool isFlushing() const { return flushingChunk_; }
    bool isListening() const { return isListening_; }
    // The current session's generation: chunks that carry another one belong to a session that is over.
    std::uint64_t generation() const { return generation_; }
    const std::string& committedText() const { return committedText_; }

    // The samples cut into consecutive pieces of at most one chunk each, the most the recogniser takes.
    static std::vector<std::span<const float>> pieces(std::span<const float> samples);

    // The two texts joined by one space; either alone when the other is empty.
    static std::string joinUtterance(const std::string& first, const std::string& second);

private:
    Chunk handOver(std::vector<float> rest);
    void keepInOverflow(std::span<const float> samples);

    bool isListening_ = false;
    bool flushingChunk_ = false;
    std::uint64_t generation_ = 0;
    std::string committedText_;
    std::vector<float> pcmSamples_;
    std::vector<float> overflowSamples_;
};

} // namespace mirvo
