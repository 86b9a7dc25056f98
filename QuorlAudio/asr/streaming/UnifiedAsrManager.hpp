#pragma once

#include "QuorlAudio/asr/batch/DecodedToken.hpp"
#include "QuorlAudio/asr/streaming/UnifiedAsrEngine.hpp"
#include "QuorlAudio/asr/streaming/UnifiedBatchLayout.hpp"
#include "QuorlAudio/asr/streaming/UnifiedModelLoader.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/ContinuousAudioConverter.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// Transcribes whole recordings with the unified model family's full-context offline encoder: windows of just
// under 15 s overlapping by 2 s, each encoded and greedily decoded from a fresh decoder state, merged at the
// seams with the batch recogniser's rules. Through the streaming protocol it buffers every appended sample
// and transcribes them all at finish().
//
// Every public operation holds one mutex; windows are decoded one after another. The partial callback runs
// with each finish() result once the lock is released, on the caller's thread.
class UnifiedAsrManager final : public UnifiedAsrEngine {
public:
    UnifiedAsrManager();
    explicit UnifiedAsrManager(Options options);

    // "Parakeet Unified 0.6B (offline 15s batch)".
    std::string displayName() const override;
    const UnifiedBatchLayout& layout() const { return layout_; }

    // 16 kHz mono samples to text. Any window's failure ends the transcription with its error.
    std::string transcribe(std::span<const float> samples);
    // The buffer converted to 16 kHz mono, then transcribed.
    std::string transcribe(const platform::audio::PCMBuffer& buffer);

    void appendAudio(const platform::audio::PCMBuffer& buffer) override;
    // Does nothing: the audio waits for finish().
    void processBufferedAudio() override;
    // Transcribes everything appended since the last finish or reset and starts buffering afresh. On failure
    // the audio stays buffered and the last transcript stays.
    std::string finish() override;
    void reset() override;
    void cleanup() override;
    // The last finish() result.
    std::string getPartialTranscript() const override;

private:
    UnifiedModelLoader loader() const override;
    std::string transcribeLocked(std::span<const float> samples);
    std::vector<DecodedToken> transcribeWindow(std::span<const float> samples, std::int64_t chunkStart,
                                               std::int64_t chunkEnd);
    void resetLocked();

    const AppLogger logger_;
    const UnifiedBatchLayout layout_;

    AudioConverter audioConverter_;
    ContinuousAudioConverter streamConverter_;
    std::vector<float> bufferedSamples_;
    std::string lastTranscript_;
};

} // namespace quorl
