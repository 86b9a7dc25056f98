#pragma once

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/ASRResult.hpp"
#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/asr/batch/TdtHypothesis.hpp"
#include "QuorlAudio/asr/batch/TokenTiming.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"
#include "QuorlAudio/foundation/Language.hpp"
#include "QuorlAudio/foundation/ProgressEmitter.hpp"

#include "platform/audio/PCMBuffer.hpp"
#include "platform/core/BackgroundJobs.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {

// The batch TDT transducer recogniser: it holds one loaded model set and turns a PCM buffer, an audio file or
// 16 kHz samples into an ASRResult. Audio of at most one model window (240000 samples) is decoded in one pass:
// preprocessor, encoder (absent for a fused model set) and the TDT decoder chosen by the model version. Longer
// audio, and every file read through a disk-backed sample file, goes to the ChunkProcessor, which decodes
// overlapping chunks in parallel on clones of the manager and merges them. The sliding-window streaming
// recogniser also drives the window inference and the text operations directly.
//
// One mutex serialises access to the manager's state. It is held only while fields are read or written, never
// across model predictions, decoding or file work, so a long transcription does not block the other operations,
// and the models are read at the moments the steps need them: a cleanup during a window may let that window
// fail with notInitialized. Managers are always owned by std::shared_ptr (see create) because the progress
// handler of long transcriptions holds its manager weakly.
class AsrManager : public std::enable_shared_from_this<AsrManager> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    using Vocabulary = std::unordered_map<int, std::string>;
    using Clock = std::chrono::steady_clock;
    using ProgressHandler = std::function<void(double progress)>;

    // What one window's inference produced: the decoder's hypothesis and element 0 of "encoder_length".
    struct InferenceResult {
        TdtHypothesis hypothesis;
        int encoderSequenceLength;
    };

    struct FrameAlignedAudio {
        std::vector<float> samples;
        int frameAlignedLength;
    };

    // The current window's tokens without those it repeats from the previous window, and how many leading
    // tokens were removed.
    struct DeduplicatedTokens {
        std::vector<int> deduped;
        int removedCount;
    };

    // A manager with the configuration, bound to the model set when one is given. Starts, without waiting for
    // them, the warming of the shared array pool for the window's input shapes and the opening of a progress
    // session.
    static std::shared_ptr<AsrManager> create(ASRConfig config = ASRConfig(),
                                              std::optional<AsrModels> models = std::nullopt);
    // Reached only through create.
    AsrManager(Passkey, ASRConfig config, std::optional<AsrModels> models);
    AsrManager(const AsrManager&) = delete;
    AsrManager& operator=(const AsrManager&) = delete;

    const AppLogger& logger() const { return logger_; }
    const ASRConfig& config() const { return config_; }
    int parallelChunkConcurrency() const { return config_.parallelChunkConcurrency; }
    bool melChunkContext() const { return config_.melChunkContext; }
    bool dualDecodeArbitration() const { return config_.dualDecodeArbitration; }

    // The bound models; each may be replaced on its own.
    std::shared_ptr<platform::ml::Model> preprocessorModel() const;
    void setPreprocessorModel(std::shared_ptr<platform::ml::Model> model);
    std::shared_ptr<platform::ml::Model> encoderModel() const;
    void setEncoderModel(std::shared_ptr<platform::ml::Model> model);
    std::shared_ptr<platform::ml::Model> decoderModel() const;
    void setDecoderModel(std::shared_ptr<platform::ml::Model> model);
    std::shared_ptr<platform::ml::Model> jointModel() const;
    void setJointModel(std::shared_ptr<platform::ml::Model> model);
    std::optional<AsrModels> asrModels() const;
    void setAsrModels(std::optional<AsrModels> models);
    Vocabulary vocabulary() const;
    void setVocabulary(Vocabulary vocabulary);
    // The options of the preprocessor and encoder predictions: made on first use (no output backings), then
    // kept.
    std::shared_ptr<platform::ml::PredictionOptions> predictionOptions();
    void setPredictionOptions(std::shared_ptr<platform::ml::PredictionOptions> options);

    // The bound set's version; none without a set.
    std::optional<AsrModelVersion> modelVersion() const;
    // Recurrent layers of a decoder state for the bound set: its version's, 2 without a set.
    int decoderLayerCount() const;
    // Whether decoder and joint are bound with the front end the set needs: the preprocessor alone for a fused
    // set (or without a set), preprocessor and encoder otherwise.
    bool isAvailable() const;

    // A new manager with this one's configuration and bound model set (sharing the model objects); null when no
    // set is bound. The long-audio chunker decodes in parallel on such clones.
    std::shared_ptr<AsrManager> makeWorkerClone() const;

    // The stream of the open progress session, opening one when none is open. Long transcriptions report
    // fractions in [0, 1] on it and end it when they end.
    ProgressEmitter::Stream transcriptionProgressStream();

    // Binds the set and its vocabulary. Cannot fail.
    void loadModels(const AsrModels& models);
    // Empties the shared array pool in the background; nothing else changes.
    void reset();
    // Drops the models and the set (the vocabulary stays) and empties the shared array pool in the background.
    void cleanup();

    // The entry points. A transcription of at most one window continues from `decoderState` and leaves it
    // updated; longer audio neither reads nor changes it. `language` is honoured by v3 sets only. Fails with
    // ASRError::notInitialized without a usable set and ASRError::invalidAudioData below 0.3 s of audio;
    // conversion, file, model and decoding errors pass through unchanged.
    ASRResult transcribe(const platform::audio::PCMBuffer& buffer, TdtDecoderState& decoderState,
                         std::optional<Language> language = std::nullopt);
    // Files whose estimated length at the recognition rate exceeds config().streamingThreshold (when streaming
    // is enabled) take the disk-backed road; others are read whole.
    ASRResult transcribe(const std::filesystem::path& url, TdtDecoderState& decoderState,
                         std::optional<Language> language = std::nullopt);
    // Converts the file into a temporary memory-mapped sample file, which is removed however the call ends.
    ASRResult transcribeDiskBacked(const std::filesystem::path& url, TdtDecoderState& decoderState,
                                   std::optional<Language> language = std::nullopt);
    ASRResult transcribe(std::vector<float> samples, TdtDecoderState& decoderState,
                         std::optional<Language> language = std::nullopt);
    // The driver behind the entry points: checks, then one window or the long-audio road.
    ASRResult transcribeWithState(std::vector<float> samples, TdtDecoderState& decoderState,
                                  std::optional<Language> language);

    // One window of at most 240000 samples, already padded by the caller: preprocessor, encoder and decoder.
    // `originalLength` is the number of valid samples ("audio_length"); `actualAudioFrames` the frames of real
    // audio (by default the valid samples in encoder frames, rounded up). The remaining arguments go to the
    // decoder, the last three for v3 sets only. The input array borrowed from the shared pool goes back to it
    // however the call ends.
    InferenceResult executeMLInferenceWithTimings(std::span<const float> samples, std::optional<int> originalLength,
                                                  std::optional<int> actualAudioFrames, TdtDecoderState& decoderState,
                                                  int contextFrameAdjustment, bool isLastChunk, int globalFrameOffset,
                                                  std::optional<Language> language = std::nullopt,
                                                  std::optional<int> emitTokensAfterGlobalFrame = std::nullopt,
                                                  std::optional<int> initialTimeIndexOverride = std::nullopt);
    // "audio_signal" [1, N] (a pooled array holding the samples) and "audio_length" [1] (`actualLength`, else
    // N). The caller gives the pooled array back to sharedMLArrayCache.
    platform::ml::DictionaryFeatureProvider preparePreprocessorInput(std::span<const float> samples,
                                                                    std::optional<int> actualLength) const;
    // With alignment allowed, samples short of a whole encoder frame are zero-padded to the next multiple of
    // 1280 when that stays within one window; the length returned is that of the samples returned.
    static FrameAlignedAudio frameAlignedAudio(std::vector<float> samples, bool allowAlignment);
    // The named feature's array, as the window reads "encoder" and "encoder_length"; ASRError::processingFailed
    // with `errorMessage` when the feature is missing or not an array.
    static std::shared_ptr<platform::ml::MultiArray> extractFeatureValue(const platform::ml::FeatureProvider& provider,
                                                                         const std::string& key,
                                                                         const std::string& errorMessage);

    // Text, timings and confidence of decoded tokens.
    float calculateConfidence(int tokenCount, bool isEmpty, const std::vector<float>& tokenConfidences) const;
    // Start and end times in seconds from global encoder frames, less the emission delay read from
    // "TDT_EMISSION_DELAY_FRAMES" on every call (1 frame when unset or not a decimal integer).
    std::vector<TokenTiming> createTokenTimings(const std::vector<int>& tokenIds, const std::vector<int>& timestamps,
                                                const std::vector<float>& confidences,
                                                const std::vector<int>& tokenDurations) const;
    DeduplicatedTokens removeDuplicateTokenSequence(const std::vector<int>& previous, const std::vector<int>& current,
                                                    int maxOverlap) const;
    std::string convertTokensToText(const std::vector<int>& tokenIds) const;

private:
    // What decoding needs of the bound set, read together.
    struct DecoderBinding {
        AsrModelVersion version;
        std::shared_ptr<platform::ml::Model> decoder;
        std::shared_ptr<platform::ml::Model> joint;
        std::shared_ptr<const Vocabulary> vocabulary;
    };

    void bind(const AsrModels& models);
    std::shared_ptr<const Vocabulary> vocabularySnapshot() const;
    DecoderBinding decoderBinding() const;
    ProgressHandler progressHandler();

    ASRResult transcribeOneWindow(std::span<const float> samples, TdtDecoderState& decoderState,
                                  std::optional<Language> language, Clock::time_point startTime);
    // The long-audio road: every recording longer than one window, and every disk-backed file.
    ASRResult transcribeWithChunker(std::shared_ptr<const AudioSampleSource> source, std::int64_t totalSamples,
                                    Clock::time_point startTime, const ProgressHandler& progressHandler,
                                    std::optional<Language> language);

    // The window inference for `samples` followed by zeros up to `windowLength`. The zeros are those of the
    // pooled input array, so a short recording is never copied into a padded buffer first.
    InferenceResult inferPaddedWindow(std::span<const float> samples, std::size_t windowLength,
                                      std::optional<int> originalLength, std::optional<int> actualAudioFrames,
                                      TdtDecoderState& decoderState, int contextFrameAdjustment, bool isLastChunk,
                                      int globalFrameOffset, std::optional<Language> language,
                                      std::optional<int> emitTokensAfterGlobalFrame,
                                      std::optional<int> initialTimeIndexOverride);
    platform::ml::DictionaryFeatureProvider preparePaddedInput(std::span<const float> samples,
                                                               std::size_t windowLength,
                                                               std::optional<int> actualLength) const;
    // The length frameAlignedAudio gives `count` samples.
    static std::size_t frameAlignedLength(std::size_t count, bool allowAlignment);

    std::shared_ptr<const platform::ml::FeatureProvider> runFrontEnd(const platform::ml::FeatureProvider& input);
    TdtHypothesis decode(const std::shared_ptr<const platform::ml::MultiArray>& encoderOutput,
                         int encoderSequenceLength, int actualAudioFrames, TdtDecoderState& decoderState,
                         int contextFrameAdjustment, bool isLastChunk, int globalFrameOffset,
                         std::optional<Language> language, std::optional<int> emitTokensAfterGlobalFrame,
                         std::optional<int> initialTimeIndexOverride) const;

    const AppLogger logger_;
    const ASRConfig config_;
    const AudioConverter audioConverter_;
    const std::shared_ptr<ProgressEmitter> progressEmitter_;

    mutable std::mutex mutex_;
    std::shared_ptr<platform::ml::Model> preprocessorModel_;
    std::shared_ptr<platform::ml::Model> encoderModel_;
    std::shared_ptr<platform::ml::Model> decoderModel_;
    std::shared_ptr<platform::ml::Model> jointModel_;
    std::optional<AsrModels> asrModels_;
    std::shared_ptr<const Vocabulary> vocabulary_;
    std::shared_ptr<platform::ml::PredictionOptions> predictionOptions_;

    // Last, so that it is destroyed first: its jobs finish while everything they might use still exists.
    platform::core::BackgroundJobs backgroundTasks_;
};

} // namespace quorl
