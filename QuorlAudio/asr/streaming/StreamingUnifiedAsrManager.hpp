#pragma once

#include "QuorlAudio/asr/batch/TokenTiming.hpp"
#include "QuorlAudio/asr/batch/WordTiming.hpp"
#include "QuorlAudio/asr/streaming/UnifiedAsrEngine.hpp"
#include "QuorlAudio/asr/streaming/UnifiedModelLoader.hpp"
#include "QuorlAudio/asr/streaming/UnifiedRnntDecoder.hpp"
#include "QuorlAudio/asr/streaming/UnifiedStreamingWindower.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace quorl {

// The live engine of the unified transducer. It keeps no encoder cache: every step re-encodes a window of
// already decoded left context, the new chunk and the look-ahead, and decodes only the chunk, with the
// decoder's recurrent state carried from window to window. The chunk and the look-ahead set the latency.
//
// Every public operation holds one mutex, so the engine decodes one window at a time whatever the callers'
// threads. The partial callback runs once the decoding operation has released it, on the caller's thread,
// before the operation returns, once per window that emitted a token.
class StreamingUnifiedAsrManager final : public UnifiedAsrEngine {
public:
    // The default Options: 70/13/13 (2080 ms) with the 8-bit encoder.
    StreamingUnifiedAsrManager();
    explicit StreamingUnifiedAsrManager(Options options);

    // "Parakeet Unified 0.6B (<latencyMs>ms)".
    std::string displayName() const override;

    // Converts the buffer to 16 kHz mono with the stream's one resampler and buffers it; needs no models.
    void appendAudio(const platform::audio::PCMBuffer& buffer) override;
    // Encodes and decodes every window the buffered audio completes.
    void processBufferedAudio() override;
    // Decodes everything left, look-ahead included, and returns the transcript. The stream stays; further
    // audio is buffered but not decoded until reset().
    std::string finish() override;
    void reset() override;
    void cleanup() override;
    std::string getPartialTranscript() const override;

    // The timings gathered since the last call, handed over once.
    std::vector<TokenTiming> consumeTokenTimings();
    // The same, grouped into words.
    std::vector<WordTiming> consumeWordTimings();

private:
    UnifiedModelLoader loader() const override;
    void requireModels() const;
    void decodeWindows(bool isFinal, std::vector<std::string>& partials);
    void processWindow(const UnifiedStreamingWindower::Plan& plan, std::vector<std::string>& partials);
    void appendEmission(const UnifiedRnntDecoder::Emission& emission);
    void trimSamples();
    void resetLocked();
    std::string transcriptLocked() const;
    void notify(const std::vector<std::string>& partials) const;

    const AppLogger logger_;

    ContinuousAudioConverter audioConverter_;
    // Audio not yet trimmed; samples_[0] is sample samplesGlobalStart_ of the stream.
    std::vector<float> samples_;
    std::int64_t samplesGlobalStart_ = 0;
    UnifiedStreamingWindower windower_;
    std::string transcriptCache_;
    std::vector<TokenTiming> pendingTokenTimings_;
};

} // namespace quorl
