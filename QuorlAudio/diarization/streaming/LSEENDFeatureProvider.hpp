#pragma once

#include "QuorlAudio/diarization/streaming/LSEENDInput.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDMetadata.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDState.hpp"
#include "QuorlAudio/diarization/streaming/StreamingChunkQueue.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

// Turns an open-ended stream of audio into LS-EEND model chunks: samples are resampled to the model rate and
// queued; every whole chunk of audio (with its context) becomes base-10 log-mel frames in one batch, normalised
// by the running mean of every frame since the stream began, and queued again; each emitted chunk loads the
// next mel window, its slice of the validity mask and the warm-up count into the one input the provider owns.
// A frame's values depend only on its place in the stream, never on how the audio arrived. One lock guards it.
class LSEENDFeatureProvider {
public:
    // Everything needed to return to a moment of the stream, the model state included.
    struct Snapshot {
        LSEENDState state;
        StreamingChunkQueue melQueue;
        StreamingChunkQueue audioQueue;
        std::vector<float> cmnMean;
        std::int64_t cmnCount;
        std::int64_t decoderMaskEnd;
    };

    // A fresh stream, or the moment a snapshot saved. Errors making the input are thrown.
    explicit LSEENDFeatureProvider(const LSEENDMetadata& metadata, std::optional<Snapshot> snapshot = std::nullopt);

    // Mel chunks ready to be emitted.
    std::int64_t readyChunks() const;
    // Samples at the source rate, resampled when it is given and differs from the model's; with
    // eagerPreprocessing they become mel frames at once. A resampling error appends nothing.
    void enqueueAudio(std::span<const float> samples, std::optional<double> sampleRate, bool eagerPreprocessing);
    // A whole file, mono at the model rate, converted to mel frames; returns the samples queued.
    std::int64_t enqueueAudioFile(const std::filesystem::path& url);
    // Ends the stream with exactly the silence that pushes the last real audio through every context and delay,
    // then rounds the unread audio up to whole chunks; with flush it becomes mel frames at once.
    void drainRightContextWithSilence(bool flush);
    // The input loaded with the next chunk, or null when no mel chunk is complete. The same input comes back
    // every time, so it must be predicted before the next call.
    LSEENDInput* emitNextChunk();

    Snapshot takeSnapshot() const;
    // Restores queues and normalisation; the model state too unless keepingState.
    void rollback(Snapshot snapshot, bool keepingState);
    void reset();

    // Samples of audio in one chunk.
    std::int64_t samplesPerChunk() const;

private:
    void processAudioQueueLocked();
    void normalise(std::vector<float>& frames);

    const LSEENDMetadata metadata_;
    const std::int64_t flushSampleCount_;
    // convDelay zeros, then chunkSize ones.
    const std::vector<float> decoderMask_;
    AudioMelSpectrogram melSpectrogram_;
    const AudioConverter converter_;
    mutable std::mutex mutex_;
    LSEENDInput input_;
    StreamingChunkQueue melQueue_;
    StreamingChunkQueue audioQueue_;
    std::vector<float> cmnMean_;
    std::int64_t cmnCount_ = 0;
    std::int64_t decoderMaskEnd_ = 0;
};

} // namespace quorl
