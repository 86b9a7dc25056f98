#pragma once

#include "QuorlAudio/asr/batch/ASRResult.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/asr/biasing/ContextBiasingConstants.hpp"
#include "QuorlAudio/asr/biasing/CtcKeywordSpotter.hpp"
#include "QuorlAudio/asr/biasing/CtcModels.hpp"
#include "QuorlAudio/asr/biasing/CustomVocabularyContext.hpp"
#include "QuorlAudio/asr/biasing/VocabularyRescorer.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrError.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowTranscriptionUpdate.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioSource.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "platform/core/DedicatedTask.hpp"

#include "platform/audio/PCMBuffer.hpp"
#include "platform/core/AsyncStream.hpp"
#include "platform/core/DedicatedTask.hpp"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

class AsrManager;
class AsrTokenText;
struct AsrModels;

// The live recogniser: PCM buffers of any format are converted to 16 kHz mono, cut into overlapping windows
// (left context, centre, look-ahead) and decoded window by window by the batch recogniser, with the decoder
// state carried from one window to the next and the tokens that repeat across the overlap removed. The text
// comes back as a confirmed part, a volatile part that a later window may still replace, and one update per
// decoded window.
//
// Feeding audio only queues the buffer: conversion and decoding run on the recogniser's own worker thread,
// which takes the buffers in the order they were queued, one at a time, so a caller's audio thread never waits
// for a model. finish() ends the input, waits until every queued buffer has been decoded and the remaining
// audio flushed, and returns the whole transcript. All public operations may be called from any thread; one
// mutex guards the state and is never held while a window is decoded, so transcripts can be read and audio fed
// meanwhile.
class SlidingWindowAsrManager {
public:
    // Kept as given until the worker has converted it: a caller whose buffers are reused hands over copies.
    using AudioBuffer = std::shared_ptr<const platform::audio::PCMBuffer>;
    using Updates = platform::core::AsyncStream<SlidingWindowTranscriptionUpdate>;

    explicit SlidingWindowAsrManager(SlidingWindowAsrConfig config = SlidingWindowAsrConfig::defaultConfig());
    // Ends the input and the update stream, cancels the worker and waits for it.
    ~SlidingWindowAsrManager();
    SlidingWindowAsrManager(const SlidingWindowAsrManager&) = delete;
    SlidingWindowAsrManager& operator=(const SlidingWindowAsrManager&) = delete;

    std::string volatileTranscript() const;
    std::string confirmedTranscript() const;
    AudioSource source() const;

    // Downloads what is missing of the v3 models (int8 encoder) into `to` or the default cache folder, loads
    // them, then does what loadModels(models) does. Failures propagate.
    void loadModels(const std::optional<std::filesystem::path>& to, const ProgressHandler& progressHandler);
    // A new batch recogniser bound to the shared model set replaces any earlier one.
    void loadModels(const AsrModels& models);

    // Validates the configuration, starts a new stream (fresh decoder state, no tokens, no failures) and the
    // worker. Throws SlidingWindowAsrError::invalidConfiguration, or ASRError::notInitialized without models.
    void startStreaming(AudioSource source);
    // Queues the buffer and returns; buffers queued before startStreaming wait for it. After finish or cancel
    // the buffer is dropped. A null buffer carries no audio and is ignored.
    void streamAudio(AudioBuffer buffer);
    // A new update stream; only the latest one receives updates, and an earlier one ends. A stream ends when
    // the recogniser finishes, is cancelled or goes away.
    Updates transcriptionUpdates();

    // From now on every confirmed window is rescored toward the vocabulary, using a keyword spotter over the CTC
    // models and the CTC tokenizer of their default folder; `config` tunes the rescorer (the process default when
    // absent). The tokenizer's errors propagate, leaving an earlier rescorer in place. A later call replaces all.
    void configureVocabularyBoosting(CustomVocabularyContext vocabulary, const CtcModels& ctcModels,
                                     std::optional<VocabularyRescorer::Config> config);

    // Ends the input, waits for the worker to decode everything queued, and returns the final text: the
    // decoding of every kept token, or the transcripts joined when no tokens are left to decode or when
    // vocabulary boosting has rescored them. Throws the
    // worker's error, or the last window error when every window failed. Calling it again returns the same.
    std::string finish();
    // Clears the transcripts, the counters, the sample buffer and the tokens and starts a new stream timeline;
    // the input, the worker, the update stream and the models stay.
    void reset();
    // Ends the input and the update stream and asks the worker to stop, without waiting for it.
    void cancel();
    // cancel(), then releases the batch recogniser and its models.
    void cleanup();

    // The frames moved by the window start in encoder frames (1280 samples, truncated); unchanged when that
    // is 0 or there are no frames.
    static std::vector<int> applyGlobalFrameOffset(std::vector<int> frames, std::int64_t windowStartSample);

private:
    // A window cut from the sample buffer, and how far the next window's centre moves once it is done.
    struct Window {
        std::vector<float> samples;
        std::int64_t start;
        bool isLastChunk;
        std::int64_t advance;
        // The stream timeline the window belongs to; a reset starts a new one.
        std::uint64_t timeline;
    };

    // Waits for the worker, if one was started, and ends the update stream; returns what the worker threw.
    std::exception_ptr waitForRecognitionTask();
    void finishUpdates();

    // The worker's job: buffers in arrival order, converted by one resampler, then the flush.
    void recognize();
    // Hands what the conversion gives to the windows; false when a failed conversion is to stop the worker.
    bool convertAndProcess(const std::function<std::vector<float>()>& conversion);
    // Logs and recovers from a buffer that could not be converted; false when the worker is to stop instead.
    bool recoverFromConversionFailure(const std::exception_ptr& error);
    void appendSamplesAndProcess(std::span<const float> samples);
    void flushRemaining();
    std::optional<Window> cutStreamingWindow();
    std::optional<Window> cutFlushWindow();
    // Moves the next window's centre on and drops the samples no later window needs, unless a reset has
    // started a new timeline meanwhile.
    void advancePast(const Window& window);
    // Index one past the last buffered sample. Called with the mutex held.
    std::int64_t bufferEndLocked() const;

    // What a window's decoding kept: the tokens that do not repeat earlier windows, their stream frames and
    // their confidences, and the number of window samples before padding.
    struct DecodedWindow {
        std::vector<int> tokens;
        std::vector<int> frames;
        std::vector<float> confidences;
        std::size_t sampleCount;
    };

    void processWindow(std::vector<float> windowSamples, std::int64_t windowStartSample, bool isLastChunk);
    // Runs the batch recogniser over the window from the carried decoder state and stores the state it leaves;
    // nothing when the window could not be decoded.
    std::optional<DecodedWindow> decodeWindow(std::vector<float> windowSamples, std::int64_t windowStartSample,
                                              bool isLastChunk);
    // The window's text, confidence and token timings in stream seconds.
    static ASRResult windowResult(const AsrTokenText& tokenText, int sampleRate, const DecodedWindow& decoded,
                                  double processingTime);
    void recordWindowFailure(const std::exception_ptr& error);
    void publish(SlidingWindowTranscriptionUpdate update);

    // The window's result with its text rescored toward the vocabulary, when boosting is configured and changes
    // it; unchanged otherwise.
    ASRResult withVocabularyBoosting(ASRResult result, std::span<const float> windowSamples,
                                     std::int64_t windowStartSample) const;
    // The rescoring of one window over the CTC log-probabilities of its samples; nothing when boosting is not
    // configured, there are no tokens, the spotter fails or nothing was replaced. The token timings are in
    // seconds from the window's first sample, as the log-probabilities are.
    std::optional<VocabularyRescorer::RescoreOutput>
    applyVocabularyRescoring(const std::string& text, const std::vector<TokenTiming>& tokenTimings,
                             std::span<const float> windowSamples) const;
    bool isBoostingActive() const;

    void updateTranscriptionState(const ASRResult& result, bool shouldConfirm);
    void attemptErrorRecovery(const std::exception& error);
    void resetDecoderForRecovery();
    // Seconds of audio received since the stream began.
    double receivedSeconds() const;

    // True for a cancellation error, and for any error once the running task is cancelled.
    static bool isCancellation(const std::exception_ptr& error);

    const AppLogger logger_;
    const SlidingWindowAsrConfig config_;
    const std::int64_t chunkSamples_;
    const std::int64_t leftContextSamples_;
    const std::int64_t rightContextSamples_;
    const platform::core::AsyncStream<AudioBuffer> inputSequence_;
    const platform::core::AsyncStream<AudioBuffer>::Continuation inputBuilder_;

    mutable std::mutex mutex_;
    std::optional<Updates::Continuation> updateContinuation_;
    std::shared_ptr<AsrManager> asrManager_;
    std::shared_ptr<platform::core::DedicatedTask> recognizerTask_;
    // Workers of earlier startStreaming calls, waited for on destruction.
    std::vector<std::shared_ptr<platform::core::DedicatedTask>> replacedTasks_;
    AudioSource audioSource_ = AudioSource::microphone;
    std::optional<TdtDecoderState> decoderState_;
    std::vector<int> accumulatedTokens_;
    std::vector<float> sampleBuffer_;
    std::int64_t bufferStartIndex_ = 0;
    std::int64_t nextWindowCenterStart_ = 0;
    std::uint64_t timeline_ = 0;
    std::string volatileTranscript_;
    std::string confirmedTranscript_;
    // Every window's text in order, rescored where it was: the final text under boosting. The confirmed and
    // volatile texts alone would lose all but the last of a run of unconfirmed windows.
    std::string windowTranscripts_;
    std::int64_t processedChunks_ = 0;
    std::int64_t failedWindowCount_ = 0;
    std::optional<SlidingWindowAsrError> lastWindowError_;
    // Vocabulary boosting; active once both the vocabulary and the rescorer are present.
    std::shared_ptr<const CustomVocabularyContext> customVocabulary_;
    std::shared_ptr<const CtcKeywordSpotter> ctcSpotter_;
    std::shared_ptr<const VocabularyRescorer> vocabularyRescorer_;
    std::optional<ContextBiasingConstants::VocabSizeConfig> vocabSizeConfig_;
};

} // namespace quorl
